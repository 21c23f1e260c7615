// The lock of the effect's settings: the two endpoint values, the preset decision, the reload
// request and the endpoint store. Initialize, the lock's preset decision and the notification
// handler take it; the real-time thread never does. It is never held while the device
// enumerator is called: unregistering may wait for a notification that waits for this lock.
#pragma once

#include "criticalsection.h"

#include <atomic>
#include <mutex>

// Used through std::lock_guard.
class SettingsLock {
public:
    void lock() {
        ++waiting;
        section.Enter();
        --waiting;
    }
    void unlock() { section.Leave(); }
    // Threads inside lock() right now: lets a test see that another thread is held up here.
    int Waiting() const { return waiting.load(); }

private:
    CriticalSection section; // re-entrant on the thread that holds it
    std::atomic<int> waiting{0};
};
