// apohost: runs a WAV file through the registered KovraAPO effect the way the audio engine
// drives a system effect, and writes the stereo result with a summary of the run.
#include "comptr.h"
#include "comscope.h"
#include "conversionplan.h"
#include "effectsession.h"
#include "endpointchanger.h"
#include "formatnegotiation.h"
#include "hostmediatype.h"
#include "hostoptions.h"
#include "hostreport.h"
#include "hresultnames.h"
#include "interruption.h"
#include "memorypropertystore.h"
#include "notificationthread.h"
#include "outputchecks.h"
#include "processingloop.h"
#include "progressbar.h"
#include "wavreader.h"
#include "wavwriter.h"

#include <io.h>
#include <objbase.h>

#include <cmath>
#include <cstdio>

namespace {

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 1,
    kExitBadInput = 2,
    kExitFormatRefused = 3,
    kExitEffectFailed = 4,
    kExitWriteFailed = 5,
    kExitNeedsConversion = 6,
};

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "apohost: %s\n", message.c_str());
    return code;
}

uint32_t PeriodFrames(double milliseconds, uint32_t sampleRate) {
    const double frames = std::round(milliseconds * sampleRate / 1000.0);
    return frames < 1.0 ? 1u : static_cast<uint32_t>(frames);
}

ComPtr<MemoryPropertyStore> MakeEndpointStore(const HostOptions& options) {
    ComPtr<MemoryPropertyStore> store =
        ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    if (store && options.enable) {
        store->SetUInt32(EndpointPropertyKey(EndpointProperty::Enable), *options.enable);
    }
    if (store && options.mode) {
        store->SetUInt32(EndpointPropertyKey(EndpointProperty::Mode), *options.mode);
    }
    return store;
}

StreamLayout LayoutOf(const WavFormat& format) {
    return {format.sampleRate, format.channels, format.channelMask};
}

// A file the effect refuses as it is: when a conversion makes it one the effect takes, stdout
// names the conversion and, on its "formats" line, what the effect takes (`./kovra process`
// converts by that; with --quiet-conversion the line is all there is).
int RefuseOrPlanConversion(const HostOptions& options, const WavFormat& format,
                           const NegotiationOutcome& negotiation) {
    const std::optional<ConversionPlan> plan =
        PlanConversion(LayoutOf(format), negotiation.acceptedInputs);
    if (plan && options.quietConversion) {
        std::printf("formats      %s\n", LayoutsText(negotiation.acceptedInputs).c_str());
        return kExitNeedsConversion;
    }
    for (const std::string& line : negotiation.messages) {
        std::fprintf(stderr, "apohost: %s\n", line.c_str());
    }
    if (!plan) {
        return Fail(kExitFormatRefused,
                    "the effect cannot run " + DescribeWavFormat(format) + ": " +
                        NoPlanReason(LayoutOf(format), negotiation.acceptedInputs));
    }
    std::printf("conversion   the effect takes this file converted to %u ch %u Hz, mask 0x%X:\n",
                unsigned{plan->to.channels}, plan->to.sampleRate, plan->to.channelMask);
    for (const std::string& line : DescribeConversion(*plan)) {
        std::printf("               %s\n", line.c_str());
    }
    std::printf("formats      %s\n", LayoutsText(negotiation.acceptedInputs).c_str());
    return Fail(kExitNeedsConversion,
                "the effect takes " + DescribeWavFormat(format) +
                    " only converted, as the audio engine would convert it: convert it as named "
                    "on stdout, in floating point, and run it again (./kovra process on Linux "
                    "converts by itself)");
}

// The input is the conversion of another file: the plan for that file must have made it, frame
// for frame, and gives its channels their speakers. Returns the exit code.
int FollowConversion(IAudioProcessingObject* effect, const OriginalFile& original,
                     const WavFormat& format, RunSummary& summary, uint32_t& channelMask) {
    const std::optional<ConversionPlan> plan =
        PlanConversion({original.sampleRate, original.channels, original.channelMask},
                       AcceptedInputLayouts(effect));
    if (!plan || plan->to.sampleRate != format.sampleRate || plan->to.channels != format.channels) {
        return Fail(kExitBadInput, "the input is not the conversion of " + summary.originalPath +
                                       " that the effect needs");
    }
    const uint64_t expected =
        ConvertedFrames(original.frames, original.sampleRate, format.sampleRate);
    if (format.frameCount != expected) {
        return Fail(kExitBadInput, "the input holds " + std::to_string(format.frameCount) +
                                       " frames, but the "
                                       "conversion of " +
                                       summary.originalPath + " (" +
                                       std::to_string(original.frames) + " frames at " +
                                       std::to_string(original.sampleRate) + " Hz) holds " +
                                       std::to_string(expected));
    }
    channelMask = plan->to.channelMask;
    summary.conversion = DescribeConversion(*plan);
    summary.conversion.push_back("by kovraconvert, streamed to the effect; the output stays at " +
                                 std::to_string(format.sampleRate) + " Hz");
    return kExitDone;
}

// What an interruption leaves: nothing written, and the code that says so.
int Abandon(WavWriter& writer) {
    writer.Abandon();
    return Fail(InterruptionExitCode(), "interrupted: the output was not written");
}

// The endpoint's and the effect's property stores, which the effect keeps from Initialize on.
struct EffectStores {
    ComPtr<MemoryPropertyStore> endpoint;
    ComPtr<MemoryPropertyStore> effects;
};

// Creates the effect and initialises it as the audio engine would, with an endpoint store that
// holds the options' values. Returns the exit code.
int StartEffect(const HostOptions& options, EffectSession& effect, EffectStores& stores) {
    stores.endpoint = MakeEndpointStore(options);
    stores.effects = ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    if (!stores.endpoint || !stores.effects) {
        return Fail(kExitEffectFailed, "out of memory");
    }
    HRESULT result = effect.Create();
    if (FAILED(result)) {
        return Fail(kExitEffectFailed,
                    "cannot create the KovraAPO effect " + Utf8FromWide(EffectClsidText()) + ": " +
                        DescribeHResult(result) + " (is KovraAPO.dll registered with regsvr32?)");
    }
    result = effect.Initialize(stores.endpoint.Get(), stores.effects.Get());
    if (FAILED(result)) {
        return Fail(kExitEffectFailed, "Initialize failed: " + DescribeHResult(result));
    }
    return kExitDone;
}

// Everything from creating the effect to the final Release. Returns the exit code.
int RunEffect(const HostOptions& options, WavReader& reader, RunSummary& summary) {
    const WavFormat& format = reader.Format();
    EffectSession effect;
    EffectStores stores;
    const int started = StartEffect(options, effect, stores);
    if (started != kExitDone) {
        return started;
    }
    uint32_t channelMask = format.channelMask;
    if (options.original) {
        const int followed =
            FollowConversion(effect.Processing(), *options.original, format, summary, channelMask);
        if (followed != kExitDone) {
            return followed;
        }
    }
    const float rate = static_cast<float>(format.sampleRate);
    summary.inputStream = FloatStreamFormat(format.channels, channelMask, rate);
    summary.outputStream = FloatStreamFormat(2, 0x3, rate);
    const NegotiationOutcome negotiation =
        NegotiateFormats(effect.Processing(), summary.inputStream, summary.outputStream);
    if (!negotiation.Accepted()) {
        return RefuseOrPlanConversion(options, format, negotiation);
    }
    WavWriter writer;
    std::string error;
    const bool created =
        options.stagedOutput.empty()
            ? writer.Create(options.outputPath, 2, format.sampleRate, options.outputEncoding, error)
            : writer.CreateStaged(options.stagedOutput, 2, format.sampleRate,
                                  options.outputEncoding, error);
    if (!created) {
        return Fail(kExitWriteFailed, error);
    }
    StreamBuffers buffers;
    buffers.Allocate(PeriodFrames(options.periodMilliseconds, format.sampleRate), format.channels,
                     2);
    summary.periodFrames = buffers.periodFrames;
    HRESULT result = effect.Lock(buffers, summary.inputStream, summary.outputStream);
    if (FAILED(result)) {
        return Fail(kExitEffectFailed, "LockForProcess failed: " + DescribeHResult(result));
    }
    summary.latencyResult = effect.GetLatency(summary.latency);

    ProgressBar progress(stderr, format.frameCount, format.sampleRate,
                         ShouldShowProgress(options.progress, _isatty(_fileno(stderr)) != 0,
                                            format.DurationSeconds()));
    bool streamed = false;
    {
        NotificationThread notificationThread;
        EndpointChanger changer(stores.endpoint.Get(), effect.Notifications(), notificationThread);
        streamed = RunProcessingLoop(effect.RealTime(), buffers, reader, writer, options.changes,
                                     changer, progress, summary.loop, error);
    }
    progress.Finish();
    const HRESULT unlocked = effect.Unlock();
    summary.unloadAnswer = effect.ReleaseAndAskUnload();
    summary.storeReferencesLeft = stores.endpoint->ReferencesBeyondCreator();
    if (!streamed) {
        switch (summary.loop.failure) {
        case LoopFailure::Interrupted:
            return Abandon(writer);
        case LoopFailure::Read:
            return Fail(kExitBadInput, error);
        case LoopFailure::Write:
            return Fail(kExitWriteFailed, error);
        default:
            return Fail(kExitEffectFailed, error);
        }
    }
    if (FAILED(unlocked)) {
        return Fail(kExitEffectFailed, "UnlockForProcess failed: " + DescribeHResult(unlocked));
    }
    summary.clippedSamples = writer.ClippedSamples();
    // The last moment to stop: once the output is in place, the run is done.
    if (Interrupted()) {
        return Abandon(writer);
    }
    if (!writer.Finish(error)) {
        return Fail(kExitWriteFailed, error);
    }
    return kExitDone;
}

// `apohost --formats`: what the effect takes, on one line, for the converter.
int ListFormats() {
    EffectSession effect;
    EffectStores stores;
    const int started = StartEffect(HostOptions{}, effect, stores);
    if (started != kExitDone) {
        return started;
    }
    const std::string formats = LayoutsText(AcceptedInputLayouts(effect.Processing()));
    effect.ReleaseAndAskUnload();
    if (Interrupted()) {
        return Fail(InterruptionExitCode(), "interrupted");
    }
    std::printf("formats      %s\n", formats.c_str());
    return kExitDone;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    WatchForInterruption();
    HostOptions options;
    std::string error;
    const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!ParseHostOptions(arguments, options, error)) {
        std::fprintf(stderr, "apohost: %s\n%s", error.c_str(), HostUsageText());
        return kExitUsage;
    }
    if (options.showHelp) {
        std::fputs(HostUsageText(), stdout);
        return kExitDone;
    }
    if (options.listFormats) {
        ComScope com;
        return FAILED(com.result) ? Fail(kExitEffectFailed,
                                         "CoInitializeEx failed: " + DescribeHResult(com.result))
                                  : ListFormats();
    }
    const bool fromStandardInput = options.inputPath == L"-";
    // A caller that puts the output in place itself has checked it by its own rules.
    if (options.stagedOutput.empty()) {
        const std::string problem = OutputProblem(options.outputPath);
        if (!problem.empty()) {
            return Fail(kExitWriteFailed, problem);
        }
        if (!fromStandardInput && SameFile(options.inputPath, options.outputPath)) {
            return Fail(kExitUsage, "the output file would overwrite the input file");
        }
    }
    WavReader reader;
    if (fromStandardInput ? !OpenWavStream(reader, error)
                          : !OpenWavFile(reader, options.inputPath, error)) {
        return Fail(kExitBadInput, error);
    }
    if (options.original) {
        TimesInSecondsAt(options.changes, options.original->sampleRate);
    }
    if (!CheckChangeTimes(options.changes, reader.Format().frameCount, reader.Format().sampleRate,
                          error)) {
        return Fail(kExitUsage, error);
    }
    ComScope com;
    if (FAILED(com.result)) {
        return Fail(kExitEffectFailed, "CoInitializeEx failed: " + DescribeHResult(com.result));
    }
    RunSummary summary;
    summary.inputPath = fromStandardInput ? "standard input" : Utf8FromWide(options.inputPath);
    summary.outputPath = Utf8FromWide(options.outputPath);
    summary.inputFormat = reader.Format();
    summary.outputEncoding = options.outputEncoding;
    summary.enable = options.enable;
    summary.mode = options.mode;
    summary.inputNotes = reader.Notes();
    if (options.original) {
        summary.originalPath = Utf8FromWide(options.convertedFrom);
        summary.original = *options.original;
        summary.originalNotes = options.originalNotes;
    }
    const int exitCode = RunEffect(options, reader, summary);
    if (exitCode == kExitDone) {
        PrintSummary(stdout, summary);
    }
    // Whatever else stopped the run, an interruption says why it stopped.
    return exitCode != kExitDone && Interrupted() ? InterruptionExitCode() : exitCode;
}
