// The output limiter's figures: THD+N of steady tones driven over the ceiling, the default
// 6-channel fold-down through the whole engine, the largest sample over a hostile corpus, and
// the cost per frame, idle and limiting. Not a test: timing depends on the machine and its load.
//   limiterbench [repeats of the timing, default 5]
#include "kovraengine.h"
#include "limiter.h"
#include "limitersignals.h"
#include "signalanalysis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using kovra::Limiter;
using kovra::LimiterSettings;

// Runs a stereo signal through a limiter in blocks of `blockFrames`.
void Run(Limiter& limiter, std::vector<float>& stereo, uint32_t blockFrames) {
    const size_t frames = stereo.size() / 2;
    for (size_t start = 0; start < frames; start += blockFrames) {
        const auto count = static_cast<uint32_t>(std::min<size_t>(blockFrames, frames - start));
        limiter.process(stereo.data() + 2 * start, count);
    }
}

// THD+N in percent of a tone `overDb` over the ceiling, over the second second of output.
double LimitedToneThd(double frequency, double rate, double ceilingDb, double overDb) {
    LimiterSettings settings;
    settings.ceilingDb = ceilingDb;
    Limiter limiter;
    limiter.configure(settings, rate);
    const auto amplitude = static_cast<float>(std::pow(10.0, (ceilingDb + overDb) / 20.0));
    std::vector<float> stereo =
        kovra_test::StereoTone(2 * static_cast<size_t>(rate), frequency, rate, amplitude);
    Run(limiter, stereo, static_cast<uint32_t>(rate / 100));
    const size_t second = static_cast<size_t>(rate);
    return 100.0 * kovra_test::ThdPlusN(stereo.data() + 2 * second, second, 2, frequency, rate);
}

// The same through the engine: every input channel carries the tone at `levelDb`.
double EngineToneThd(const char* configuration, int channels, int preset, double frequency,
                     double levelDb) {
    constexpr int kRate = 48000;
    KovraHandle handle = nullptr;
    Kovra_create(&handle, Kovra_getConfigIndexFromName(configuration));
    Kovra_prepareToPlay(handle, kRate, channels, kRate / 100, KovraSampleBytes_kFloat32,
                        KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
    Kovra_Ambrel_loadFilter(handle, preset);
    const std::vector<float> tone = kovra_test::StereoTone(
        2 * kRate, frequency, kRate, static_cast<float>(std::pow(10.0, levelDb / 20.0)));
    std::vector<float> input(static_cast<size_t>(channels) * 2 * kRate);
    for (size_t index = 0; index < input.size(); ++index) {
        input[index] = tone[2 * (index / channels)];
    }
    std::vector<float> output(2 * 2 * kRate);
    for (size_t frame = 0; frame < 2 * kRate; frame += kRate / 100) {
        Kovra_processBlock(handle, input.data() + channels * frame, output.data() + 2 * frame,
                           kRate / 100);
    }
    Kovra_destroy(handle);
    return 100.0 * kovra_test::ThdPlusN(output.data() + 2 * kRate, kRate, 2, frequency, kRate);
}

void PrintThd() {
    std::printf("THD+N of a tone once settled (second second), 10 ms blocks\n");
    std::printf("  %-44s %8s %12s\n", "case", "rate", "THD+N %");
    for (double rate : {48000.0, 96000.0}) {
        for (double frequency : {20.0, 50.0, 1000.0, 49.3, 997.0}) {
            for (double ceilingDb : {0.0, -1.0}) {
                char name[64];
                std::snprintf(name, sizeof name, "limiter %g Hz, 6 dB over a %g dBFS ceiling",
                              frequency, ceilingDb);
                std::printf("  %-44s %8.0f %12.7f\n", name, rate,
                            LimitedToneThd(frequency, rate, ceilingDb, 6.0));
            }
        }
    }
    for (double frequency : {50.0, 1000.0}) {
        char name[64];
        std::snprintf(name, sizeof name, "6_ch_bypass preset 2, 6 x %g Hz at -3 dBFS", frequency);
        std::printf("  %-44s %8d %12.7f\n", name, 48000,
                    EngineToneThd("6_ch_bypass", 6, 2, frequency, -3.0));
    }
}

void PrintCeiling() {
    size_t samples = 0;
    size_t over = 0;
    double worst = 0.0; // largest |sample| / ceiling
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0}) {
        for (double ceilingDb : {0.0, -0.5, -1.0, -6.0, -24.0}) {
            for (uint32_t blockFrames : {1u, 7u, 64u, 480u, 4096u}) {
                LimiterSettings settings;
                settings.ceilingDb = ceilingDb;
                settings.releaseMs = 1.0 + blockFrames % 200;
                settings.holdMs = static_cast<double>(blockFrames % 50);
                Limiter limiter;
                limiter.configure(settings, rate);
                const auto ceiling = static_cast<float>(std::pow(10.0, ceilingDb / 20.0));
                for (auto& signal : kovra_test::CeilingCorpus(rate, blockFrames, 0.5)) {
                    Run(limiter, signal.stereo, blockFrames);
                    for (float sample : signal.stereo) {
                        over += std::fabs(sample) > ceiling;
                        worst = std::max(worst, std::fabs(sample) / static_cast<double>(ceiling));
                    }
                    samples += signal.stereo.size();
                }
            }
        }
    }
    std::printf("\nceiling over the corpus (6 rates x 5 ceilings x 5 block sizes)\n");
    std::printf("  %zu samples, %zu above the ceiling, largest |sample| / ceiling %.9f\n", samples,
                over, worst);
}

// Median ns per frame of one 10 ms stereo block, over `blocks` blocks.
double CostPerFrame(double rate, float level, int blocks) {
    const auto frames = static_cast<uint32_t>(rate / 100);
    LimiterSettings settings;
    settings.ceilingDb = -1.0;
    Limiter limiter;
    limiter.configure(settings, rate);
    std::vector<float> noise(2 * static_cast<size_t>(frames) * 8);
    uint32_t state = 2463534242u;
    for (float& sample : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = level * (static_cast<float>(state) / 2147483648.0f - 1.0f);
    }
    std::vector<float> block(2 * static_cast<size_t>(frames));
    std::vector<double> durations;
    for (int index = 0; index < blocks; ++index) {
        const float* source = noise.data() + block.size() * static_cast<size_t>(index % 8);
        std::copy(source, source + block.size(), block.begin());
        const auto start = std::chrono::steady_clock::now();
        limiter.process(block.data(), frames);
        const auto stop = std::chrono::steady_clock::now();
        durations.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
    }
    std::sort(durations.begin(), durations.end());
    return durations[durations.size() / 2] / frames;
}

void PrintCost(int repeats) {
    std::printf("\ncost per stereo frame, 10 ms blocks (median of 4000 blocks; each repeat)\n");
    for (double rate : {48000.0, 96000.0}) {
        for (float level : {0.25f, 2.0f}) {
            std::printf("  %6.0f Hz, noise %-9s", rate, level < 1 ? "-12 dBFS" : "+6 dBFS");
            for (int repeat = 0; repeat < repeats; ++repeat) {
                std::printf(" %6.2f", CostPerFrame(rate, level, 4000));
            }
            std::printf(" ns\n");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("look-ahead (latency): %u frames at 48 kHz, %u at 96 kHz\n\n",
                Limiter::LookAheadFrames(48000), Limiter::LookAheadFrames(96000));
    PrintThd();
    PrintCeiling();
    PrintCost(repeats);
    return 0;
}
