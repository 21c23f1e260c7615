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
#include "memorypropertystore.h"
#include "notificationthread.h"
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

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    return length == 0 || length >= MAX_PATH * 4 ? path : std::wstring(full, length);
}

bool SameFile(const std::wstring& first, const std::wstring& second) {
    return _wcsicmp(FullPath(first).c_str(), FullPath(second).c_str()) == 0;
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
// names the conversion and the sox effects that do it (`./kovra process` reads them there).
int RefuseOrPlanConversion(const WavFormat& format, const NegotiationOutcome& negotiation) {
    for (const std::string& line : negotiation.messages) {
        std::fprintf(stderr, "apohost: %s\n", line.c_str());
    }
    const std::optional<ConversionPlan> plan =
        PlanConversion(LayoutOf(format), negotiation.acceptedInputs);
    if (!plan) {
        return Fail(kExitFormatRefused, "the effect cannot run " + DescribeWavFormat(format) +
                                            " and takes none of the usual formats");
    }
    std::printf("conversion   the effect takes this file converted to %u ch %u Hz, mask 0x%X:\n",
                unsigned{plan->to.channels}, plan->to.sampleRate, plan->to.channelMask);
    for (const std::string& line : DescribeConversion(*plan)) {
        std::printf("               %s\n", line.c_str());
    }
    std::printf("sox effects  %s\n", SoxEffects(*plan).c_str());
    return Fail(kExitNeedsConversion,
                "the effect takes " + DescribeWavFormat(format) +
                    " only converted, as the audio engine would convert it; convert it first, "
                    "e.g. sox IN.wav -e floating-point -b 32 CONVERTED.wav " +
                    SoxEffects(*plan) + " (./kovra process does this with sox by itself)");
}

// The input is the conversion of another file: the plan for that file must have made it, and
// gives its channels their speakers (sox's own mask may differ). Returns the exit code.
int FollowConversion(IAudioProcessingObject* effect, const WavFormat& original,
                     const WavFormat& format, RunSummary& summary, uint32_t& channelMask) {
    const std::optional<ConversionPlan> plan =
        PlanConversion(LayoutOf(original), AcceptedInputLayouts(effect));
    if (!plan || plan->to.sampleRate != format.sampleRate || plan->to.channels != format.channels) {
        return Fail(kExitBadInput, "the input is not the conversion of " + summary.originalPath +
                                       " that the effect needs");
    }
    channelMask = plan->to.channelMask;
    summary.conversion = DescribeConversion(*plan);
    summary.conversion.push_back("by sox: " + SoxEffects(*plan) + "; the output stays at " +
                                 std::to_string(format.sampleRate) + " Hz");
    return kExitDone;
}

// Everything from creating the effect to the final Release. Returns the exit code.
int RunEffect(const HostOptions& options, WavReader& reader, const WavFormat* original,
              RunSummary& summary) {
    const WavFormat& format = reader.Format();
    ComPtr<MemoryPropertyStore> endpointStore = MakeEndpointStore(options);
    ComPtr<MemoryPropertyStore> effectsStore =
        ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    if (!endpointStore || !effectsStore) {
        return Fail(kExitEffectFailed, "out of memory");
    }
    EffectSession effect;
    HRESULT result = effect.Create();
    if (FAILED(result)) {
        return Fail(kExitEffectFailed,
                    "cannot create the KovraAPO effect " + Utf8FromWide(EffectClsidText()) + ": " +
                        DescribeHResult(result) + " (is KovraAPO.dll registered with regsvr32?)");
    }
    result = effect.Initialize(endpointStore.Get(), effectsStore.Get());
    if (FAILED(result)) {
        return Fail(kExitEffectFailed, "Initialize failed: " + DescribeHResult(result));
    }
    uint32_t channelMask = format.channelMask;
    if (original != nullptr) {
        const int followed =
            FollowConversion(effect.Processing(), *original, format, summary, channelMask);
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
        return RefuseOrPlanConversion(format, negotiation);
    }
    WavWriter writer;
    std::string error;
    if (!writer.Create(options.outputPath, 2, format.sampleRate, options.outputEncoding, error)) {
        return Fail(kExitWriteFailed, error);
    }
    StreamBuffers buffers;
    buffers.Allocate(PeriodFrames(options.periodMilliseconds, format.sampleRate), format.channels,
                     2);
    summary.periodFrames = buffers.periodFrames;
    result = effect.Lock(buffers, summary.inputStream, summary.outputStream);
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
        EndpointChanger changer(endpointStore.Get(), effect.Notifications(), notificationThread);
        streamed = RunProcessingLoop(effect.RealTime(), buffers, reader, writer, options.changes,
                                     changer, progress, summary.loop, error);
    }
    progress.Finish();
    const HRESULT unlocked = effect.Unlock();
    summary.unloadAnswer = effect.ReleaseAndAskUnload();
    summary.storeReferencesLeft = endpointStore->ReferencesBeyondCreator();
    if (!streamed) {
        switch (summary.loop.failure) {
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
    if (!writer.Finish(error)) {
        return Fail(kExitWriteFailed, error);
    }
    return kExitDone;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
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
    if (SameFile(options.inputPath, options.outputPath)) {
        return Fail(kExitUsage, "the output file would overwrite the input file");
    }
    WavReader reader;
    if (!OpenWavFile(reader, options.inputPath, error)) {
        return Fail(kExitBadInput, error);
    }
    WavReader original;
    if (!options.convertedFrom.empty()) {
        if (!OpenWavFile(original, options.convertedFrom, error)) {
            return Fail(kExitBadInput, error);
        }
        TimesInSecondsAt(options.changes, original.Format().sampleRate);
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
    summary.inputPath = Utf8FromWide(options.inputPath);
    summary.outputPath = Utf8FromWide(options.outputPath);
    summary.inputFormat = reader.Format();
    summary.outputEncoding = options.outputEncoding;
    summary.enable = options.enable;
    summary.mode = options.mode;
    summary.inputNotes = reader.Notes();
    if (!options.convertedFrom.empty()) {
        summary.originalPath = Utf8FromWide(options.convertedFrom);
        summary.originalFormat = original.Format();
        summary.originalNotes = original.Notes();
    }
    const int exitCode = RunEffect(
        options, reader, options.convertedFrom.empty() ? nullptr : &original.Format(), summary);
    if (exitCode == kExitDone) {
        PrintSummary(stdout, summary);
    }
    return exitCode;
}
