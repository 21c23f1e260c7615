// Per-block cost of the engine library alone, through its C interface: every layout, rate and
// preset, with 10 ms blocks of noise at -12 dBFS. Prints median and 99th percentile per block
// and per frame, and the share of one core that real-time streaming would take.
//   enginebench [blocks per case, default 3000]
#include "filtercascade.h"
#include "kovraengine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Case {
    const char* configuration;
    int channels;
    int sampleRate;
    int preset;
};

struct Timing {
    double medianNs;
    double p99Ns;
};

std::vector<float> Noise(size_t samples) {
    std::vector<float> noise(samples);
    uint32_t state = 2463534242u;
    for (float& sample : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = 0.25f * (static_cast<float>(state) / 2147483648.0f - 1.0f);
    }
    return noise;
}

Timing Measure(const Case& c, int blocks) {
    const uint32_t frames = static_cast<uint32_t>(c.sampleRate / 100);
    KovraHandle handle = nullptr;
    if (Kovra_create(&handle, Kovra_getConfigIndexFromName(c.configuration)) != KovraResult_kOk ||
        Kovra_prepareToPlay(handle, c.sampleRate, c.channels, static_cast<int32_t>(frames),
                            KovraSampleBytes_kFloat32, KovraSampleBytes_kFloat32,
                            KovraOutputLayout_kDefault) != KovraResult_kOk ||
        Kovra_Ambrel_loadFilter(handle, c.preset) != KovraResult_kOk) {
        std::fprintf(stderr, "cannot open %s\n", c.configuration);
        std::exit(1);
    }
    // Several distinct input blocks, so the cache does not see one block over and over.
    const size_t blockSamples = static_cast<size_t>(frames) * c.channels;
    const std::vector<float> input = Noise(blockSamples * 8);
    std::vector<float> output(2 * static_cast<size_t>(frames));
    std::vector<double> durations;
    durations.reserve(static_cast<size_t>(blocks));
    for (int block = -blocks / 10; block < blocks; ++block) { // the first tenth warms up
        const float* in = input.data() + blockSamples * static_cast<size_t>((block + blocks) % 8);
        const auto start = std::chrono::steady_clock::now();
        Kovra_processBlock(handle, in, output.data(), frames);
        const auto stop = std::chrono::steady_clock::now();
        if (block >= 0) {
            durations.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        }
    }
    Kovra_destroy(handle);
    std::sort(durations.begin(), durations.end());
    return {durations[durations.size() / 2], durations[durations.size() * 99 / 100]};
}

} // namespace

int main(int argc, char** argv) {
    const int blocks = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
    const Case layouts[] = {{"2_ch", 2, 0, 0},
                            {"6_ch", 6, 0, 0},
                            {"8_ch", 8, 0, 0},
                            {"2_ch_bypass", 2, 0, 2},
                            {"8_ch_bypass", 8, 0, 2}};
    std::printf(
        "engine library alone, 10 ms blocks, %d blocks per case; filter kernel %s\n", blocks,
        kovra::FilterCascade::FastestKernel() == kovra::RunCascadeAvx2Fma ? "AVX2/FMA" : "SSE2");
    std::printf("%-12s %6s %6s %12s %12s %10s %10s %9s\n", "config", "rate", "preset", "median ns",
                "p99 ns", "ns/frame", "p99/frame", "core %");
    for (const Case& layout : layouts) {
        for (int rate : {48000, 96000}) {
            const bool bypass = layout.preset == 2;
            for (int preset = bypass ? 2 : 0; preset <= 2; ++preset) {
                Case c = layout;
                c.sampleRate = rate;
                c.preset = preset;
                const Timing timing = Measure(c, blocks);
                const double frames = rate / 100.0;
                const double blockNs = 1e7; // 10 ms of audio
                std::printf("%-12s %6d %6d %12.0f %12.0f %10.2f %10.2f %8.4f%%\n", c.configuration,
                            rate, preset, timing.medianNs, timing.p99Ns, timing.medianNs / frames,
                            timing.p99Ns / frames, 100.0 * timing.medianNs / blockNs);
            }
        }
    }
    return 0;
}
