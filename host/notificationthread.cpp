#include "notificationthread.h"

#include <objbase.h>

#include <utility>

NotificationThread::NotificationThread() : worker([this] { Serve(); }) {}

NotificationThread::~NotificationThread() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopping = true;
    }
    wake.notify_all();
    worker.join();
}

HRESULT NotificationThread::Deliver(const std::function<HRESULT()>& call) {
    std::unique_lock<std::mutex> guard(mutex);
    pending = &call;
    done = false;
    wake.notify_all();
    wake.wait(guard, [this] { return done; });
    return result;
}

void NotificationThread::Serve() {
    const HRESULT comStarted = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_lock<std::mutex> guard(mutex);
    for (;;) {
        wake.wait(guard, [this] { return stopping || pending != nullptr; });
        if (pending != nullptr) {
            const std::function<HRESULT()>* call = std::exchange(pending, nullptr);
            guard.unlock();
            const HRESULT callResult = (*call)();
            guard.lock();
            result = callResult;
            done = true;
            wake.notify_all();
        } else if (stopping) {
            break;
        }
    }
    guard.unlock();
    if (SUCCEEDED(comStarted)) {
        CoUninitialize();
    }
}
