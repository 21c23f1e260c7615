#include "realtimeprobe.h"

#include <objbase.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

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

// One counted function: the import's own address is kept when its slot is replaced.
#define KOVRA_COUNTED(note, result, name, parameters, arguments)                                   \
    result(WINAPI* real_##name) parameters = nullptr;                                              \
    result WINAPI counted_##name parameters {                                                      \
        note;                                                                                      \
        return real_##name arguments;                                                              \
    }

KOVRA_COUNTED(Count(kAllocation), void*, malloc, (size_t size), (size))
KOVRA_COUNTED(Count(kAllocation), void*, calloc, (size_t count, size_t size), (count, size))
KOVRA_COUNTED(Count(kAllocation), void*, realloc, (void* memory, size_t size), (memory, size))
KOVRA_COUNTED(NoteFree(memory), void, free, (void* memory), (memory))
KOVRA_COUNTED(Count(kAllocation), void*, _aligned_malloc, (size_t size, size_t alignment),
              (size, alignment))
KOVRA_COUNTED(NoteFree(memory), void, _aligned_free, (void* memory), (memory))
KOVRA_COUNTED(Count(kAllocation), char*, _strdup, (const char* text), (text))
KOVRA_COUNTED(Count(kAllocation), wchar_t*, _wcsdup, (const wchar_t* text), (text))
KOVRA_COUNTED(Count(kAllocation), LPVOID, HeapAlloc, (HANDLE heap, DWORD flags, SIZE_T size),
              (heap, flags, size))
KOVRA_COUNTED(Count(kAllocation), LPVOID, HeapReAlloc,
              (HANDLE heap, DWORD flags, LPVOID memory, SIZE_T size), (heap, flags, memory, size))
KOVRA_COUNTED(NoteFree(memory), BOOL, HeapFree, (HANDLE heap, DWORD flags, LPVOID memory),
              (heap, flags, memory))
KOVRA_COUNTED(Count(kAllocation), HLOCAL, LocalAlloc, (UINT flags, SIZE_T size), (flags, size))
KOVRA_COUNTED(NoteFree(memory), HLOCAL, LocalFree, (HLOCAL memory), (memory))
KOVRA_COUNTED(Count(kAllocation), LPVOID, CoTaskMemAlloc, (SIZE_T size), (size))
KOVRA_COUNTED(Count(kAllocation), LPVOID, CoTaskMemRealloc, (LPVOID memory, SIZE_T size),
              (memory, size))
KOVRA_COUNTED(NoteFree(memory), void, CoTaskMemFree, (LPVOID memory), (memory))
KOVRA_COUNTED(Count(kLockWait), void, EnterCriticalSection, (LPCRITICAL_SECTION section), (section))
KOVRA_COUNTED(Count(kLockWait), BOOL, TryEnterCriticalSection, (LPCRITICAL_SECTION section),
              (section))
KOVRA_COUNTED(Count(kLockWait), void, AcquireSRWLockExclusive, (PSRWLOCK lock), (lock))
KOVRA_COUNTED(Count(kLockWait), void, AcquireSRWLockShared, (PSRWLOCK lock), (lock))
KOVRA_COUNTED(Count(kLockWait), BOOLEAN, TryAcquireSRWLockExclusive, (PSRWLOCK lock), (lock))
KOVRA_COUNTED(Count(kLockWait), BOOLEAN, TryAcquireSRWLockShared, (PSRWLOCK lock), (lock))
KOVRA_COUNTED(Count(kLockWait), BOOL, SleepConditionVariableCS,
              (PCONDITION_VARIABLE condition, PCRITICAL_SECTION section, DWORD milliseconds),
              (condition, section, milliseconds))
KOVRA_COUNTED(Count(kLockWait), BOOL, SleepConditionVariableSRW,
              (PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD milliseconds, ULONG flags),
              (condition, lock, milliseconds, flags))
KOVRA_COUNTED(Count(kLockWait), DWORD, WaitForSingleObject, (HANDLE object, DWORD milliseconds),
              (object, milliseconds))
KOVRA_COUNTED(Count(kLockWait), DWORD, WaitForSingleObjectEx,
              (HANDLE object, DWORD milliseconds, BOOL alertable),
              (object, milliseconds, alertable))
KOVRA_COUNTED(Count(kLockWait), DWORD, WaitForMultipleObjects,
              (DWORD count, const HANDLE* objects, BOOL all, DWORD milliseconds),
              (count, objects, all, milliseconds))
KOVRA_COUNTED(Count(kLockWait), DWORD, WaitForMultipleObjectsEx,
              (DWORD count, const HANDLE* objects, BOOL all, DWORD milliseconds, BOOL alertable),
              (count, objects, all, milliseconds, alertable))
KOVRA_COUNTED(Count(kLockWait), void, Sleep, (DWORD milliseconds), (milliseconds))
KOVRA_COUNTED(Count(kLockWait), DWORD, SleepEx, (DWORD milliseconds, BOOL alertable),
              (milliseconds, alertable))

#undef KOVRA_COUNTED

struct Hook {
    const char* name;
    void* counted;
    void** real;
};

#define KOVRA_HOOK(name)                                                                           \
    { #name, reinterpret_cast < void*>(&counted_##name), reinterpret_cast < void**>(&real_##name) }

const Hook kHooks[] = {
    KOVRA_HOOK(malloc),
    KOVRA_HOOK(calloc),
    KOVRA_HOOK(realloc),
    KOVRA_HOOK(free),
    KOVRA_HOOK(_aligned_malloc),
    KOVRA_HOOK(_aligned_free),
    KOVRA_HOOK(_strdup),
    KOVRA_HOOK(_wcsdup),
    KOVRA_HOOK(HeapAlloc),
    KOVRA_HOOK(HeapReAlloc),
    KOVRA_HOOK(HeapFree),
    KOVRA_HOOK(LocalAlloc),
    KOVRA_HOOK(LocalFree),
    KOVRA_HOOK(CoTaskMemAlloc),
    KOVRA_HOOK(CoTaskMemRealloc),
    KOVRA_HOOK(CoTaskMemFree),
    KOVRA_HOOK(EnterCriticalSection),
    KOVRA_HOOK(TryEnterCriticalSection),
    KOVRA_HOOK(AcquireSRWLockExclusive),
    KOVRA_HOOK(AcquireSRWLockShared),
    KOVRA_HOOK(TryAcquireSRWLockExclusive),
    KOVRA_HOOK(TryAcquireSRWLockShared),
    KOVRA_HOOK(SleepConditionVariableCS),
    KOVRA_HOOK(SleepConditionVariableSRW),
    KOVRA_HOOK(WaitForSingleObject),
    KOVRA_HOOK(WaitForSingleObjectEx),
    KOVRA_HOOK(WaitForMultipleObjects),
    KOVRA_HOOK(WaitForMultipleObjectsEx),
    KOVRA_HOOK(Sleep),
    KOVRA_HOOK(SleepEx),
};

#undef KOVRA_HOOK

// Puts the counted function in the import slot, keeping the imported one.
void Replace(ULONGLONG* slot, const Hook& hook) {
    if (*slot == reinterpret_cast<ULONGLONG>(hook.counted)) {
        return;
    }
    if (!*hook.real) {
        *hook.real = reinterpret_cast<void*>(*slot);
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

// std::mutex and the other winpthreads primitives, linked statically, are reached through the
// linker's --wrap (see CMakeLists.txt).
#define KOVRA_WRAPPED(name, parameters, arguments)                                                 \
    extern "C" int __real_##name parameters;                                                       \
    extern "C" int __wrap_##name parameters {                                                      \
        realtimeprobe::Count(realtimeprobe::kLockWait);                                            \
        return __real_##name arguments;                                                            \
    }

KOVRA_WRAPPED(pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex))
KOVRA_WRAPPED(pthread_mutex_trylock, (pthread_mutex_t * mutex), (mutex))
KOVRA_WRAPPED(pthread_mutex_timedlock, (pthread_mutex_t * mutex, const timespec* until),
              (mutex, until))
KOVRA_WRAPPED(pthread_cond_wait, (pthread_cond_t * condition, pthread_mutex_t* mutex),
              (condition, mutex))
KOVRA_WRAPPED(pthread_cond_timedwait,
              (pthread_cond_t * condition, pthread_mutex_t* mutex, const timespec* until),
              (condition, mutex, until))
KOVRA_WRAPPED(pthread_rwlock_rdlock, (pthread_rwlock_t * lock), (lock))
KOVRA_WRAPPED(pthread_rwlock_wrlock, (pthread_rwlock_t * lock), (lock))

#undef KOVRA_WRAPPED
