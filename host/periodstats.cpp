#include "periodstats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

PeriodTiming SummarizePeriodTimes(std::vector<double> seconds) {
    PeriodTiming timing;
    timing.count = seconds.size();
    if (seconds.empty()) {
        return timing;
    }
    std::sort(seconds.begin(), seconds.end());
    const size_t count = seconds.size();
    timing.medianSeconds =
        count % 2 == 1 ? seconds[count / 2] : (seconds[count / 2 - 1] + seconds[count / 2]) / 2.0;
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(count)));
    timing.percentile99Seconds = seconds[rank == 0 ? 0 : rank - 1];
    timing.maximumSeconds = seconds.back();
    timing.totalSeconds = std::accumulate(seconds.begin(), seconds.end(), 0.0);
    return timing;
}

double RealTimeFactor(double processingSeconds, double audioSeconds) {
    return audioSeconds > 0.0 ? processingSeconds / audioSeconds : 0.0;
}
