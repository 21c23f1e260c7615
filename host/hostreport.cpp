#include "hostreport.h"

#include "hresultnames.h"
#include "presettracker.h"

#include <cmath>

namespace {

double Seconds(uint64_t frames, uint32_t rate) {
    return rate == 0 ? 0.0 : static_cast<double>(frames) / rate;
}

std::string ValueText(const std::optional<uint32_t>& value) {
    return value ? std::to_string(*value) : std::string("absent");
}

const char* EncodingName(OutputEncoding encoding) {
    switch (encoding) {
    case OutputEncoding::Pcm16:
        return "PCM 16-bit";
    case OutputEncoding::Pcm24:
        return "PCM 24-bit";
    default:
        return "float 32-bit";
    }
}

void PrintPresetLine(FILE* stream, const char* lead, double atSeconds, uint32_t channels,
                     uint32_t preset) {
    std::fprintf(stream, "%s%.3f s: preset %u (\"%s\")\n", lead, atSeconds, preset,
                 ConfigurationName(channels, preset).c_str());
}

// A reload block observed after the change at `index`, before the next change took effect.
const ReloadBlock* ReloadAfter(const LoopResult& loop, size_t index) {
    const uint64_t from = loop.changes[index].period;
    const uint64_t until =
        index + 1 < loop.changes.size() ? loop.changes[index + 1].period : UINT64_MAX;
    for (const ReloadBlock& block : loop.reloadBlocks) {
        if (block.period >= from && block.period < until) {
            return &block;
        }
    }
    return nullptr;
}

void PrintPresets(FILE* stream, const RunSummary& summary) {
    const uint32_t rate = summary.inputFormat.sampleRate;
    const uint32_t channels = summary.inputFormat.channels;
    PresetTracker tracker(summary.enable, summary.mode);
    std::fprintf(stream, "  endpoint     enable %s, mode %s at Initialize\n",
                 ValueText(summary.enable).c_str(), ValueText(summary.mode).c_str());
    PrintPresetLine(stream, "  presets      from ", 0.0, channels, tracker.Preset());
    for (size_t index = 0; index < summary.loop.changes.size(); ++index) {
        const AppliedChange& applied = summary.loop.changes[index];
        const bool reloadExpected = tracker.Notify(applied.change.property, applied.change.value);
        std::fprintf(stream, "               %.3f s: %s=%u, OnPropertyValueChanged %s, %s\n",
                     Seconds(applied.frame, rate), EndpointPropertyName(applied.change.property),
                     applied.change.value, DescribeHResult(applied.result).c_str(),
                     reloadExpected ? "the effect selects a preset and reloads"
                                    : "no preset change by the effect's rules");
        const ReloadBlock* block = ReloadAfter(summary.loop, index);
        if (block != nullptr) {
            std::fprintf(
                stream, "               reload block: period %llu (%.3f s to %.3f s) silent\n",
                static_cast<unsigned long long>(block->period), Seconds(block->frame, rate),
                Seconds(block->frame + summary.periodFrames, rate));
            PrintPresetLine(stream, "               from ",
                            Seconds(block->frame + summary.periodFrames, rate), channels,
                            tracker.Preset());
        } else if (reloadExpected) {
            std::fprintf(stream, "               no reload block observed\n");
        }
    }
}

void PrintTiming(FILE* stream, const RunSummary& summary) {
    const PeriodTiming timing = summary.loop.processTimes.Summary();
    const double periodSeconds = Seconds(summary.periodFrames, summary.inputFormat.sampleRate);
    std::fprintf(stream,
                 "  APOProcess   median %.1f us, 99th percentile %.1f us, maximum %.1f us; "
                 "period %.1f us\n",
                 timing.medianSeconds * 1e6, timing.percentile99Seconds * 1e6,
                 timing.maximumSeconds * 1e6, periodSeconds * 1e6);
    const double audioSeconds = Seconds(summary.loop.framesIn, summary.inputFormat.sampleRate);
    const double factor = RealTimeFactor(timing.totalSeconds, audioSeconds);
    std::fprintf(stream, "  real time    factor %.4f (%.3f s of APOProcess for %.3f s of audio",
                 factor, timing.totalSeconds, audioSeconds);
    if (factor > 0.0) {
        std::fprintf(stream, ", %.0fx faster than real time", 1.0 / factor);
    }
    std::fprintf(stream, ")\n");
}

void PrintNotes(FILE* stream, const std::vector<std::string>& notes) {
    for (const std::string& note : notes) {
        std::fprintf(stream, "               note: %s\n", note.c_str());
    }
}

} // namespace

void PrintSummary(FILE* stream, const RunSummary& summary) {
    const WavFormat& input = summary.inputFormat;
    const uint32_t rate = input.sampleRate;
    std::fprintf(stream, "KovraAPO host summary\n");
    if (!summary.originalPath.empty()) {
        const OriginalFile& original = summary.original;
        std::fprintf(stream,
                     "  file         %s: %s, %u ch %u Hz, mask 0x%X, %.3f s (%llu frames)\n",
                     summary.originalPath.c_str(), original.format.c_str(),
                     unsigned{original.channels}, original.sampleRate,
                     unsigned{original.channelMask}, Seconds(original.frames, original.sampleRate),
                     static_cast<unsigned long long>(original.frames));
        PrintNotes(stream, summary.originalNotes);
        std::fprintf(stream, "  converted    for the effect, as the audio engine would:\n");
        for (const std::string& line : summary.conversion) {
            std::fprintf(stream, "               %s\n", line.c_str());
        }
    }
    std::fprintf(stream, "  input        %s: %s, %.3f s (%llu frames)\n", summary.inputPath.c_str(),
                 DescribeWavFormat(input).c_str(), input.DurationSeconds(),
                 static_cast<unsigned long long>(input.frameCount));
    PrintNotes(stream, summary.inputNotes);
    std::fprintf(stream, "  negotiated   input  %s: S_OK\n",
                 DescribeStreamFormat(summary.inputStream).c_str());
    std::fprintf(stream, "               output %s: S_OK\n",
                 DescribeStreamFormat(summary.outputStream).c_str());
    std::fprintf(stream,
                 "  period       %u frames (%.2f ms); %llu periods, %llu silent (passed as "
                 "BUFFER_SILENT)\n",
                 summary.periodFrames, Seconds(summary.periodFrames, rate) * 1000.0,
                 static_cast<unsigned long long>(summary.loop.periods),
                 static_cast<unsigned long long>(summary.loop.silentPeriods));
    if (SUCCEEDED(summary.latencyResult)) {
        const double latencySeconds = static_cast<double>(summary.latency) / 1e7;
        std::fprintf(stream, "  latency      %.3f ms (%.0f frames)\n", latencySeconds * 1000.0,
                     std::round(latencySeconds * rate));
    } else {
        std::fprintf(stream, "  latency      GetLatency failed: %s\n",
                     DescribeHResult(summary.latencyResult).c_str());
    }
    PrintPresets(stream, summary);
    PrintTiming(stream, summary);
    std::fprintf(stream, "  output       %s: 2 ch %s %u Hz, %llu frames",
                 summary.outputPath.c_str(), EncodingName(summary.outputEncoding), rate,
                 static_cast<unsigned long long>(summary.loop.framesOut));
    if (summary.clippedSamples > 0) {
        std::fprintf(stream, ", %llu samples clipped",
                     static_cast<unsigned long long>(summary.clippedSamples));
    }
    std::fprintf(stream, "\n  unload       DllCanUnloadNow after the final Release: %s\n",
                 summary.unloadAnswer.c_str());
    if (summary.storeReferencesLeft != 0) {
        std::fprintf(stream,
                     "  warning      the effect still holds %ld reference(s) to the endpoint "
                     "property store\n",
                     summary.storeReferencesLeft);
    }
}
