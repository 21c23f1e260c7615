// Counts what one thread does that a real-time path must never do: allocate or free memory, take
// a lock or wait on a synchronisation object. It sees the program's calls to the C runtime's and
// the system's heap functions and to the system's lock and wait functions through the program's
// import table, and winpthreads' mutex (std::mutex) through the linker's --wrap, so the effect's
// code, the C++ runtime linked into it and the engine stand-in are all seen. Another loaded
// module (the engine library) can be counted too.
#pragma once

#include <windows.h>

namespace realtimeprobe {

struct Counts {
    long allocations = 0;
    long frees = 0;
    long lockWaits = 0; // locks taken (or tried) and waits on synchronisation objects
};

// Counts on the thread that made it, from construction until Stop. One at a time.
class ThreadCount {
public:
    ThreadCount();
    ~ThreadCount();
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;
    Counts Stop();
};

// Counts the calls that `module` makes as well; false when its import table cannot be read.
bool CountIn(HMODULE module);

// Calls `onFree` once, on the freeing thread, when the memory at `address` is freed (before it
// is); null stops watching.
void WatchFree(const void* address, void (*onFree)());

} // namespace realtimeprobe
