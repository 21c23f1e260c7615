// A thread of the host's own that delivers endpoint notifications to the effect, as the
// platform's notification thread does: the effect must cope with being called there while the
// host's main thread drives the stream.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class NotificationThread {
public:
    NotificationThread();
    ~NotificationThread();
    NotificationThread(const NotificationThread&) = delete;
    NotificationThread& operator=(const NotificationThread&) = delete;

    // Runs `call` on the notification thread and waits for its result, so that the stream
    // position at which a change reaches the effect is the same on every run.
    HRESULT Deliver(const std::function<HRESULT()>& call);

private:
    void Serve();

    std::mutex mutex;
    std::condition_variable wake;
    const std::function<HRESULT()>* pending = nullptr;
    HRESULT result = S_OK;
    bool done = false;
    bool stopping = false;
    std::thread worker;
};
