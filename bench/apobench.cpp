// apobench: the cost of the registered KovraAPO effect per block, through COM as the audio
// engine calls it, against the engine library called directly and against sox running the same
// chain on the same file. bench.sh (./kovra bench) generates the files and times sox.
//   apobench chains            the sox chain of every case, one line each: CH RATE PRESET EFFECTS
//   apobench measure FOLDER    measures with FOLDER's noise-CH-RATE.wav files and sox's results
//                              (sox-times.txt, check-CH-RATE-PRESET.wav), prints the tables
#include "benchcase.h"
#include "benchreport.h"
#include "comscope.h"
#include "configfile.h"
#include "hresultnames.h"
#include "kovraids.h"
#include "presettracker.h"
#include "soxchain.h"
#include "soxcompare.h"
#include "wavreader.h"

#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The file the effect's module reads when it loads: the settings of the chains it runs.
constexpr uint32_t kChannelCounts[] = {2, 6, 8};
constexpr uint32_t kSampleRates[] = {48000, 96000};
constexpr uint32_t kPresetCount = 3;
constexpr uint32_t kPeriodsPerSecond = 100; // 10 ms, the audio engine's usual period
// The output check against sox starts this late: after the effect's 5 ms fade-in, and after its
// filters have settled from it to far below the check's -110 dB.
constexpr uint32_t kSoxCheckSkipMs = 500;

int Fail(const std::string& message) {
    std::fprintf(stderr, "apobench: %s\n", message.c_str());
    return 1;
}

SoxChain ChainOf(const kovra::EngineSettings& settings, uint32_t channels, uint32_t rate,
                 uint32_t preset) {
    // The configuration the effect opens for the preset.
    const int configuration =
        kovra::ConfigurationIndexFromName(ConfigurationName(channels, preset).c_str());
    return SoxChainFor(settings.configurations[configuration], settings.presets[preset], rate);
}

std::wstring FileIn(const std::wstring& folder, const std::string& name) {
    return folder + L"\\" + std::wstring(name.begin(), name.end());
}

std::string CaseName(uint32_t channels, uint32_t rate) {
    return std::to_string(channels) + "-" + std::to_string(rate);
}

bool LoadAudio(const std::wstring& path, BenchAudio& audio, std::string& error) {
    WavReader reader;
    if (!OpenWavFile(reader, path, error)) {
        return false;
    }
    audio.channels = reader.Format().channels;
    audio.sampleRate = reader.Format().sampleRate;
    audio.frames = reader.FramesLeft();
    audio.samples.resize(static_cast<size_t>(audio.frames) * audio.channels);
    const size_t read = reader.ReadFrames(audio.samples.data(), audio.frames, error);
    return read == audio.frames && error.empty();
}

int PrintChains(const kovra::EngineSettings& settings) {
    for (uint32_t channels : kChannelCounts) {
        for (uint32_t rate : kSampleRates) {
            for (uint32_t preset = 0; preset < kPresetCount; ++preset) {
                std::printf("%u %u %u %s\n", channels, rate, preset,
                            ChainOf(settings, channels, rate, preset).effects.c_str());
            }
        }
    }
    return 0;
}

void AddSoxComparison(const std::wstring& folder, const std::map<CaseKey, SoxTiming>& timings,
                      BenchRow& row) {
    const CaseResult& r = row.result;
    const auto timing = timings.find({r.channels, r.sampleRate, r.preset});
    if (timing != timings.end()) {
        row.sox = timing->second;
    }
    double difference = 0.0;
    std::string error;
    const std::string check =
        "check-" + CaseName(r.channels, r.sampleRate) + "-" + std::to_string(r.preset) + ".wav";
    SoxAlignment alignment;
    alignment.latencyFrames = r.latencyFrames;
    alignment.skipFrames = r.sampleRate * kSoxCheckSkipMs / 1000;
    if (SoxDifferenceDb(FileIn(folder, check), r.firstOutput, alignment, difference, error)) {
        row.soxDifferenceDb = difference;
    } else {
        std::fprintf(stderr, "apobench: no output check against sox: %s\n", error.c_str());
    }
}

int Measure(const kovra::EngineSettings& settings, const std::string& settingsSource,
            const std::wstring& folder) {
    ComScope com;
    if (FAILED(com.result)) {
        return Fail("CoInitializeEx failed: " + DescribeHResult(com.result));
    }
    const std::map<CaseKey, SoxTiming> timings = ReadSoxTimings(FileIn(folder, "sox-times.txt"));
    std::vector<BenchRow> rows;
    std::string error;
    for (uint32_t channels : kChannelCounts) {
        for (uint32_t rate : kSampleRates) {
            BenchAudio audio;
            if (!LoadAudio(FileIn(folder, "noise-" + CaseName(channels, rate) + ".wav"), audio,
                           error)) {
                return Fail(error);
            }
            for (uint32_t preset = 0; preset < kPresetCount; ++preset) {
                std::fprintf(stderr, "apobench: %u channels, %u Hz, preset %u\n", channels, rate,
                             preset);
                BenchRow row;
                CasePlan plan;
                plan.preset = preset;
                plan.periodFrames = rate / kPeriodsPerSecond;
                if (!RunCase(audio, plan, row.result, error)) {
                    return Fail(error);
                }
                row.chain = ChainOf(settings, channels, rate, preset);
                AddSoxComparison(folder, timings, row);
                row.result.firstOutput = {};
                rows.push_back(std::move(row));
            }
        }
    }
    std::printf("engine settings: %s\n", settingsSource.c_str());
    std::printf("per case: %.1f s of noise, one untimed pass that checks the output, %d timed "
                "passes of each path taking turns; blocks timed by the time-stamp counter "
                "(%.3f GHz)\n",
                static_cast<double>(rows.front().result.framesPerPass) /
                    rows.front().result.sampleRate,
                CasePlan{}.timedPasses, BlockClock::TicksPerSecond() / 1e9);
    std::printf("\nPer-block cost of APOProcess through the registered KovraAPO.dll (%u ms "
                "periods), against Kovra_processBlock of KovraAPI_SHARED.dll called directly\n",
                1000 / kPeriodsPerSecond);
    PrintCostTable(stdout, rows);
    std::printf("\nReload blocks through the registered KovraAPO.dll: in one more pass, a "
                "notification (untimed) before every %uth block reopens the engine instance with "
                "the same preset; their APOProcess times against the ordinary blocks' 99th "
                "percentile above\n",
                CasePlan{}.reloadEvery);
    PrintReloadTable(stdout, rows);
    std::printf("\nThroughput on the same file, millions of frames per second of processing, "
                "against sox with the same chain\n");
    PrintSoxTable(stdout, rows);
    std::printf("\nsox chains (from the settings the effect runs with):\n");
    PrintSoxChains(stdout, rows);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const kovra::LoadOutcome settings = kovra::LoadConfigurationFile(kEngineConfigurationPath);
    const std::string source = settings.result == KovraResult_kOk
                                   ? std::string(kEngineConfigurationPath)
                                   : "the built-in defaults (" + settings.message + ")";
    if (command == L"chains" && argc == 2) {
        std::fprintf(stderr, "apobench: engine settings from %s\n", source.c_str());
        return PrintChains(settings.settings);
    }
    if (command == L"measure" && argc == 3) {
        return Measure(settings.settings, source, argv[2]);
    }
    std::fputs("usage: apobench chains | apobench measure FOLDER\n", stderr);
    return 2;
}
