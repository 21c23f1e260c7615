#include "enginelock.h"

#include <atomic>

namespace kovra {
namespace {

std::atomic<LockObserver> lockObserver{nullptr};

} // namespace

void EngineLock::lock() {
    const bool waited = !mutex_.try_lock();
    if (waited) {
        mutex_.lock();
    }
    if (const LockObserver observer = lockObserver.load(std::memory_order_acquire)) {
        observer(waited);
    }
}

void SetLockObserver(LockObserver observer) {
    lockObserver.store(observer, std::memory_order_release);
}

} // namespace kovra
