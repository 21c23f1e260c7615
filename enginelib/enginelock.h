// The engine library's one lock, for the work that may wait: publishing a configuration that
// Kovra_initialize has read, and its message. Nothing a stream calls takes it. A test build can
// watch it: an observer, once set, hears of every acquisition and whether it had to wait.
#ifndef KOVRA_ENGINELOCK_H
#define KOVRA_ENGINELOCK_H

#include <mutex>

namespace kovra {

class EngineLock {
public:
    void lock();
    void unlock() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Called on every acquisition of any EngineLock, with whether it had to wait for another holder.
using LockObserver = void (*)(bool waited);
void SetLockObserver(LockObserver observer);

} // namespace kovra

#endif
