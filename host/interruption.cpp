#include "interruption.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<int> exitCode{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool hangup =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    int none = 0;
    exitCode.compare_exchange_strong(none, hangup ? 129 : 130);
    if (hangup) {
        // The process ends when this returns: give the main thread the time to clean up and
        // exit with the code itself (the system allows a few seconds).
        Sleep(INFINITE);
    }
    return TRUE;
}

} // namespace

void WatchForInterruption() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
    return exitCode.load() != 0;
}

int InterruptionExitCode() {
    return exitCode.load();
}
