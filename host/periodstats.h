// Timing of the APOProcess calls, one sample per period.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct PeriodTiming {
    size_t count = 0;
    double medianSeconds = 0.0;
    double percentile99Seconds = 0.0; // nearest rank
    double maximumSeconds = 0.0;
    double totalSeconds = 0.0;
};

// The exact figures of times that are all at hand (the benchmark's passes).
PeriodTiming SummarizePeriodTimes(std::vector<double> seconds);

// The same figures for a stream of any length, in constant memory: each time is counted in a bin
// of a logarithmic scale from 1 ns to 100 s, 232 bins a decade (each 1 % wide), beside the exact
// count, sum, minimum and maximum. The median and the 99th percentile are read as their bin's
// geometric middle, held within the minimum and maximum: within 0.5 % of the exact figures. A
// time below the scale reads as the minimum, one above it as the maximum. Adding a time takes
// no lock and allocates nothing, so it may run on the stream's thread.
class PeriodTimeHistogram {
public:
    static constexpr double kRelativePrecision = 0.005;

    void Add(double seconds);
    size_t Count() const { return count_; }
    PeriodTiming Summary() const;

private:
    static constexpr int kBinsPerDecade = 232;
    static constexpr int kDecades = 11;
    static constexpr double kLowestSeconds = 1e-9;
    // The scale's bins, with one bin below it (zero included) and one above it.
    static constexpr size_t kBins = kBinsPerDecade * kDecades + 2;

    static size_t BinOf(double seconds);
    double ValueAtRank(uint64_t rank) const; // rank 1 is the shortest time

    std::array<uint64_t, kBins> counts_{};
    uint64_t count_ = 0;
    double sum_ = 0.0;
    double minimum_ = 0.0;
    double maximum_ = 0.0;
};

// Processing time per second of audio: below 1 is faster than real time.
double RealTimeFactor(double processingSeconds, double audioSeconds);
