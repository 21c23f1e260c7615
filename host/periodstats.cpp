#include "periodstats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// 1-based ranks of the two middle times (one and the same for an odd count) and of the 99th
// percentile by nearest rank, so that both summaries pick the same times.
struct SummaryRanks {
    size_t lowerMiddle;
    size_t upperMiddle;
    size_t percentile99;
};

SummaryRanks RanksOf(size_t count) {
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(count)));
    return {(count + 1) / 2, count / 2 + 1, rank == 0 ? 1 : rank};
}

} // namespace

PeriodTiming SummarizePeriodTimes(std::vector<double> seconds) {
    PeriodTiming timing;
    timing.count = seconds.size();
    if (seconds.empty()) {
        return timing;
    }
    std::sort(seconds.begin(), seconds.end());
    const SummaryRanks ranks = RanksOf(seconds.size());
    timing.medianSeconds = (seconds[ranks.lowerMiddle - 1] + seconds[ranks.upperMiddle - 1]) / 2.0;
    timing.percentile99Seconds = seconds[ranks.percentile99 - 1];
    timing.maximumSeconds = seconds.back();
    timing.totalSeconds = std::accumulate(seconds.begin(), seconds.end(), 0.0);
    return timing;
}

size_t PeriodTimeHistogram::BinOf(double seconds) {
    // Written so that zero, a negative time and NaN all fall below the scale.
    if (!(seconds >= kLowestSeconds)) {
        return 0;
    }
    const double position = std::floor(std::log10(seconds / kLowestSeconds) * kBinsPerDecade);
    return position >= static_cast<double>(kBins - 2) ? kBins - 1
                                                      : static_cast<size_t>(position) + 1;
}

void PeriodTimeHistogram::Add(double seconds) {
    minimum_ = count_ == 0 ? seconds : std::min(minimum_, seconds);
    maximum_ = count_ == 0 ? seconds : std::max(maximum_, seconds);
    ++counts_[BinOf(seconds)];
    ++count_;
    sum_ += seconds;
}

double PeriodTimeHistogram::ValueAtRank(uint64_t rank) const {
    uint64_t below = 0;
    size_t bin = 0;
    // Bounded by the last bin, so that no rank reads past the counts.
    while (bin + 1 < kBins && below + counts_[bin] < rank) {
        below += counts_[bin];
        ++bin;
    }
    if (bin == 0) {
        return minimum_;
    }
    if (bin == kBins - 1) {
        return maximum_;
    }
    const double middle =
        kLowestSeconds * std::pow(10.0, (static_cast<double>(bin - 1) + 0.5) / kBinsPerDecade);
    return std::clamp(middle, minimum_, maximum_);
}

PeriodTiming PeriodTimeHistogram::Summary() const {
    PeriodTiming timing;
    timing.count = count_;
    if (count_ == 0) {
        return timing;
    }
    const SummaryRanks ranks = RanksOf(count_);
    timing.medianSeconds = (ValueAtRank(ranks.lowerMiddle) + ValueAtRank(ranks.upperMiddle)) / 2.0;
    timing.percentile99Seconds = ValueAtRank(ranks.percentile99);
    timing.maximumSeconds = maximum_;
    timing.totalSeconds = sum_;
    return timing;
}

double RealTimeFactor(double processingSeconds, double audioSeconds) {
    return audioSeconds > 0.0 ? processingSeconds / audioSeconds : 0.0;
}
