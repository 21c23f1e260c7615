#include "benchreport.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

double Nanoseconds(double seconds) {
    return seconds * 1e9;
}

// Share of one core that the effect takes while it streams in real time.
double CorePercent(const CaseResult& result) {
    const double periodSeconds = static_cast<double>(result.periodFrames) / result.sampleRate;
    return 100.0 * result.effect.medianSeconds / periodSeconds;
}

double MillionFramesPerSecond(uint64_t frames, double seconds) {
    return seconds > 0.0 ? static_cast<double>(frames) / seconds / 1e6 : 0.0;
}

std::string Cell(const char* format, double value) {
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

void PrintCostTable(std::FILE* out, const std::vector<BenchRow>& rows) {
    std::fprintf(out, "%2s %6s %2s %-12s %6s %4s %11s %11s %9s %9s %8s %11s %10s %8s %5s\n", "ch",
                 "rate", "p", "config", "frames", "lat", "med ns/blk", "p99 ns/blk", "med ns/fr",
                 "p99 ns/fr", "core %", "direct med", "wrapper ns", "wrapper", "same");
    for (const BenchRow& row : rows) {
        const CaseResult& r = row.result;
        // Medians: a block disturbed by something else on the machine does not move them.
        const double wrapperNs = Nanoseconds(r.effect.medianSeconds - r.direct.medianSeconds);
        const double wrapperPercent =
            100.0 * (r.effect.medianSeconds - r.direct.medianSeconds) / r.direct.medianSeconds;
        std::fprintf(out,
                     "%2u %6u %2u %-12s %6u %4u %11.0f %11.0f %9.2f %9.2f %7.3f%% %11.0f %+10.0f "
                     "%+7.1f%% %5s\n",
                     r.channels, r.sampleRate, r.preset, r.configuration.c_str(), r.periodFrames,
                     r.latencyFrames, Nanoseconds(r.effect.medianSeconds),
                     Nanoseconds(r.effect.percentile99Seconds),
                     Nanoseconds(r.effect.medianSeconds) / r.periodFrames,
                     Nanoseconds(r.effect.percentile99Seconds) / r.periodFrames, CorePercent(r),
                     Nanoseconds(r.direct.medianSeconds), wrapperNs, wrapperPercent,
                     r.sameOutput ? "yes" : "NO");
    }
}

void PrintReloadTable(std::FILE* out, const std::vector<BenchRow>& rows) {
    std::fprintf(out, "%2s %6s %2s %-12s %7s %11s %11s %11s %11s %11s\n", "ch", "rate", "p",
                 "config", "reloads", "p99 ns/blk", "reload med", "reload p99", "reload max",
                 "p99 ratio");
    for (const BenchRow& row : rows) {
        const CaseResult& r = row.result;
        const double ratio = r.effect.percentile99Seconds > 0.0
                                 ? r.reload.percentile99Seconds / r.effect.percentile99Seconds
                                 : 0.0;
        std::fprintf(out, "%2u %6u %2u %-12s %7zu %11.0f %11.0f %11.0f %11.0f %10.1fx\n",
                     r.channels, r.sampleRate, r.preset, r.configuration.c_str(), r.reload.count,
                     Nanoseconds(r.effect.percentile99Seconds), Nanoseconds(r.reload.medianSeconds),
                     Nanoseconds(r.reload.percentile99Seconds),
                     Nanoseconds(r.reload.maximumSeconds), ratio);
    }
}

void PrintSoxTable(std::FILE* out, const std::vector<BenchRow>& rows) {
    std::fprintf(out, "%2s %6s %2s %-12s %12s %12s %9s %13s %10s %12s\n", "ch", "rate", "p",
                 "config", "ours Mfr/s", "sox Mfr/s", "ours/sox", "sox fx Mfr/s", "ours/fx",
                 "sox-ours dB");
    for (const BenchRow& row : rows) {
        const CaseResult& r = row.result;
        const double ours = MillionFramesPerSecond(r.framesPerPass, r.effectPassSeconds);
        std::string sox = "-", ratio = "-", effects = "-", effectsRatio = "-", difference = "-";
        if (row.sox && row.sox->framesPerSecond > 0.0) {
            sox = Cell("%.2f", row.sox->framesPerSecond / 1e6);
            ratio = Cell("%.1fx", ours / (row.sox->framesPerSecond / 1e6));
        }
        if (row.sox && row.sox->effectsFramesPerSecond > 0.0) {
            effects = Cell("%.2f", row.sox->effectsFramesPerSecond / 1e6);
            effectsRatio = Cell("%.1fx", ours / (row.sox->effectsFramesPerSecond / 1e6));
        }
        if (row.soxDifferenceDb) {
            difference = Cell("%.1f", *row.soxDifferenceDb);
        }
        std::fprintf(out, "%2u %6u %2u %-12s %12.2f %12s %9s %13s %10s %12s\n", r.channels,
                     r.sampleRate, r.preset, r.configuration.c_str(), ours, sox.c_str(),
                     ratio.c_str(), effects.c_str(), effectsRatio.c_str(), difference.c_str());
    }
}

void PrintSoxChains(std::FILE* out, const std::vector<BenchRow>& rows) {
    // Per configuration and preset, in the order of the rows, each rate's chain. The engine runs
    // its limiter exactly where it reports a latency: the limiter's look-ahead.
    std::vector<std::pair<std::string, std::vector<std::pair<uint32_t, std::string>>>> chains;
    for (const BenchRow& row : rows) {
        const CaseResult& r = row.result;
        const std::string name = r.configuration + " preset " + std::to_string(r.preset);
        const std::string chain = (row.chain.effects.empty() ? "(no effect)" : row.chain.effects) +
                                  (r.latencyFrames != 0 ? "  [+ limiter, not in sox]" : "");
        auto entry = std::find_if(chains.begin(), chains.end(),
                                  [&](const auto& named) { return named.first == name; });
        if (entry == chains.end()) {
            entry = chains.insert(chains.end(), {name, {}});
        }
        entry->second.push_back({r.sampleRate, chain});
    }
    for (const auto& [name, byRate] : chains) {
        // One line where every rate runs the same chain, else one per rate.
        const bool sameAtEveryRate =
            std::all_of(byRate.begin(), byRate.end(),
                        [&](const auto& rate) { return rate.second == byRate.front().second; });
        if (sameAtEveryRate) {
            std::fprintf(out, "  %s: %s\n", name.c_str(), byRate.front().second.c_str());
            continue;
        }
        for (const auto& [rate, chain] : byRate) {
            std::fprintf(out, "  %s at %u Hz: %s\n", name.c_str(), rate, chain.c_str());
        }
    }
}
