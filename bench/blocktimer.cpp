#include "blocktimer.h"

#include <windows.h>

namespace {

double Calibrate() {
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const uint64_t ticksAtStart = BlockClock::Now();
    Sleep(100); // long enough that the performance counter's 100 ns steps do not matter
    QueryPerformanceCounter(&stop);
    const uint64_t ticksAtStop = BlockClock::Now();
    const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    return static_cast<double>(ticksAtStop - ticksAtStart) / seconds;
}

} // namespace

double BlockClock::TicksPerSecond() {
    static const double ticksPerSecond = Calibrate();
    return ticksPerSecond;
}
