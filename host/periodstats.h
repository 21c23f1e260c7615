// Timing of the APOProcess calls, one sample per period.
#pragma once

#include <cstddef>
#include <vector>

struct PeriodTiming {
    size_t count = 0;
    double medianSeconds = 0.0;
    double percentile99Seconds = 0.0; // nearest rank
    double maximumSeconds = 0.0;
    double totalSeconds = 0.0;
};

PeriodTiming SummarizePeriodTimes(std::vector<double> seconds);

// Processing time per second of audio: below 1 is faster than real time.
double RealTimeFactor(double processingSeconds, double audioSeconds);
