#include "realtimeprobe.h"

#include <objbase.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <tuple>

namespace realtimeprobe {
namespace {

enum Kind { kAllocation, kFree, kLockWait, kKinds };

std::atomic<DWORD> countedThread{0}; // 0: no thread is counted
std::atomic<long> counted[kKinds];
std::atomic<const void*> watchedAddress{nullptr};
std::atomic<void (*)()> onWatchedFree{nullptr};

void Count(Kind kind) {
    if (countedThread.load(std::memory_order_relaxed) == GetCurrentThreadId()) {
        counted[kind].fetch_add(1, std::memory_order_relaxed);
    }
}

void NoteFree(const void* memory) {
    Count(kFree);
    if (memory && memory == watchedAddress.load()) {
        watchedAddress = nullptr;
        if (void (*onFree)() = onWatchedFree.exchange(nullptr)) {
            onFree();
        }
    }
}

// The imported functions, by the place of their counted stand-ins in the table below; each is
// kept when its first import slot is replaced.
void* imported[32];

// A counted stand-in for the imported function of type `Function` at imported[Place]. A free's
// first argument is the memory freed.
template <typename Function> struct Counted;
template <typename Result, typename... Arguments> struct Counted<Result (*)(Arguments...)> {
    template <int Place, Kind kind> static Result WINAPI Call(Arguments... arguments) {
        if constexpr (kind == kFree) {
            NoteFree(std::get<0>(std::tuple<Arguments...>(arguments...)));
        } else {
            Count(kind);
        }
        using Real = Result(WINAPI*)(Arguments...);
        return reinterpret_cast<Real>(imported[Place])(arguments...);
    }
};

struct Hook {
    const char* name;
    void* counted;
    int place;
};

// The headers' import attributes on the functions' types do not matter here.
#pragma GCC diagnostic ignored "-Wignored-attributes"
// clang-format off
#define KOVRA_HOOK(place, kind, name) \
    {#name, reinterpret_cast<void*>(&Counted<decltype(&name)>::Call<place, kind>), place}
// clang-format on

const Hook kHooks[] = {
    KOVRA_HOOK(0, kAllocation, malloc),
    KOVRA_HOOK(1, kAllocation, calloc),
    KOVRA_HOOK(2, kAllocation, realloc),
    KOVRA_HOOK(3, kFree, free),
    KOVRA_HOOK(4, kAllocation, _aligned_malloc),
    KOVRA_HOOK(5, kFree, _aligned_free),
    KOVRA_HOOK(6, kAllocation, HeapAlloc),
    KOVRA_HOOK(7, kAllocation, HeapReAlloc),
    KOVRA_HOOK(8, kFree, HeapFree),
    KOVRA_HOOK(9, kAllocation, CoTaskMemAlloc),
    KOVRA_HOOK(10, kFree, CoTaskMemFree),
    KOVRA_HOOK(11, kLockWait, EnterCriticalSection),
    KOVRA_HOOK(12, kLockWait, TryEnterCriticalSection),
    KOVRA_HOOK(13, kLockWait, AcquireSRWLockExclusive),
    KOVRA_HOOK(14, kLockWait, AcquireSRWLockShared),
    KOVRA_HOOK(15, kLockWait, SleepConditionVariableCS),
    KOVRA_HOOK(16, kLockWait, SleepConditionVariableSRW),
    KOVRA_HOOK(17, kLockWait, WaitForSingleObject),
    KOVRA_HOOK(18, kLockWait, WaitForSingleObjectEx),
    KOVRA_HOOK(19, kLockWait, WaitForMultipleObjects),
    KOVRA_HOOK(20, kLockWait, Sleep),
    KOVRA_HOOK(21, kLockWait, SleepEx),
};

#undef KOVRA_HOOK

// Puts the counted function in the import slot, keeping the imported one.
void Replace(ULONGLONG* slot, const Hook& hook) {
    if (*slot == reinterpret_cast<ULONGLONG>(hook.counted)) {
        return;
    }
    if (!imported[hook.place]) {
        imported[hook.place] = reinterpret_cast<void*>(*slot);
    }
    DWORD protection = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        *slot = reinterpret_cast<ULONGLONG>(hook.counted);
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
}

// Every import of the module by the name of a counted function, whichever DLL it comes from.
bool Patch(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return false;
    }
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        if (library->OriginalFirstThunk == 0) {
            continue; // no names to go by
        }
        const auto* names =
            reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + library->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) {
                continue;
            }
            const auto* imported =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : kHooks) {
                if (std::strcmp(reinterpret_cast<const char*>(imported->Name), hook.name) == 0) {
                    Replace(&slots->u1.Function, hook);
                }
            }
        }
    }
    return true;
}

// Before main, while the program has one thread.
const bool programCounted = Patch(GetModuleHandleW(nullptr));

} // namespace

ThreadCount::ThreadCount() {
    for (auto& count : counted) {
        count = 0;
    }
    countedThread = GetCurrentThreadId();
}

ThreadCount::~ThreadCount() {
    Stop();
}

Counts ThreadCount::Stop() {
    countedThread = 0;
    return {counted[kAllocation].load(), counted[kFree].load(), counted[kLockWait].load()};
}

bool CountIn(HMODULE module) {
    return programCounted && Patch(module);
}

void WatchFree(const void* address, void (*onFree)()) {
    onWatchedFree = onFree;
    watchedAddress = onFree ? address : nullptr;
}

} // namespace realtimeprobe

// std::mutex, std::condition_variable and std::shared_mutex, from winpthreads linked statically,
// are reached through the linker's --wrap (see CMakeLists.txt).
#define KOVRA_WRAPPED(name, parameters, arguments)                                                 \
    extern "C" int __real_##name parameters;                                                       \
    extern "C" int __wrap_##name parameters {                                                      \
        realtimeprobe::Count(realtimeprobe::kLockWait);                                            \
        return __real_##name arguments;                                                            \
    }

KOVRA_WRAPPED(pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex))
KOVRA_WRAPPED(pthread_cond_wait, (pthread_cond_t * condition, pthread_mutex_t* mutex),
              (condition, mutex))
KOVRA_WRAPPED(pthread_rwlock_rdlock, (pthread_rwlock_t * lock), (lock))
KOVRA_WRAPPED(pthread_rwlock_wrlock, (pthread_rwlock_t * lock), (lock))

#undef KOVRA_WRAPPED
