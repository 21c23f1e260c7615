// A DLL around the diagnostics library: each load has its own trace log set-up, and its
// allocations can be made to fail, which Wine cannot be made to do on its own.
#include "logprobe.h"

#include "loghelper.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> allocationsFail{false};
}

void* operator new(std::size_t size) {
    if (allocationsFail.load()) {
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

extern "C" __declspec(dllexport) LogMessageFunction GetLogMessage() {
    return &LogMessage;
}

extern "C" __declspec(dllexport) void FailAllocations(bool fail) {
    allocationsFail.store(fail);
}
