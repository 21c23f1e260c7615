// The probe: replaces the module's global operator new and delete with counting ones (the
// memory still comes from malloc), and watches the engine library's lock.
#include "kovraprobe.h"

#include "enginelock.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> allocations{0};
std::atomic<int64_t> frees{0};
std::atomic<int64_t> locks{0};
std::atomic<int64_t> lockWaits{0};

void* Allocate(std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void Free(void* memory) noexcept {
    if (memory != nullptr) {
        frees.fetch_add(1, std::memory_order_relaxed);
        std::free(memory);
    }
}

void CountLock(bool waited) {
    locks.fetch_add(1, std::memory_order_relaxed);
    if (waited) {
        lockWaits.fetch_add(1, std::memory_order_relaxed);
    }
}

// Watching starts when the module loads, before anything can call the library.
struct LockWatch {
    LockWatch() { kovra::SetLockObserver(CountLock); }
} lockWatch;

} // namespace

extern "C" KOVRA_PROBE_API void KovraProbe_read(KovraProbeCounts* counts) {
    counts->allocations = allocations.load();
    counts->frees = frees.load();
    counts->locks = locks.load();
    counts->lockWaits = lockWaits.load();
}

void* operator new(std::size_t size) {
    if (void* memory = Allocate(size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void operator delete(void* memory) noexcept {
    Free(memory);
}

void operator delete[](void* memory) noexcept {
    Free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    Free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    Free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept {
    Free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    Free(memory);
}
