// The output's sample peak and true peak in every configuration and preset, at 48 and 96 kHz, on
// program-like material: tones up to 20 kHz at every phase, square waves, clipped loud masters
// and noise. The true peak is measured independently (8x interpolation in double), not by the
// limiter's own detector. Not a test: it prints the figures.
//   truepeakbench [seconds per signal, default 1] [-v: every signal]
#include "kovraengine.h"
#include "limitersignals.h"
#include "signalanalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Peaks {
    double sample = 0.0;
    double truePeak = 0.0;
    size_t samplesOver = 0; // samples above the limiter's ceiling
    std::string worst;      // the signal with the highest true peak
};

double Db(double magnitude) {
    return 20.0 * std::log10(magnitude);
}

// Runs a signal through a fresh instance in 10 ms blocks and returns the stereo output.
std::vector<float> Run(const char* configuration, int channels, int rate, int preset,
                       const std::vector<float>& stereo) {
    const std::vector<float> input = kovra_test::SpreadToChannels(stereo, channels);
    const uint32_t block = static_cast<uint32_t>(rate / 100);
    KovraHandle handle = nullptr;
    if (Kovra_create(&handle, Kovra_getConfigIndexFromName(configuration)) != KovraResult_kOk ||
        Kovra_prepareToPlay(handle, rate, channels, static_cast<int32_t>(block),
                            KovraSampleBytes_kFloat32, KovraSampleBytes_kFloat32,
                            KovraOutputLayout_kDefault) != KovraResult_kOk ||
        Kovra_Ambrel_loadFilter(handle, preset) != KovraResult_kOk) {
        std::fprintf(stderr, "cannot open %s\n", configuration);
        std::exit(1);
    }
    const size_t frames = stereo.size() / 2;
    std::vector<float> output(2 * frames);
    for (size_t start = 0; start < frames; start += block) {
        const auto count = static_cast<uint32_t>(std::min<size_t>(block, frames - start));
        Kovra_processBlock(handle, input.data() + start * channels, output.data() + 2 * start,
                           count);
    }
    Kovra_destroy(handle);
    return output;
}

void Note(Peaks& peaks, const std::string& name, const std::vector<float>& stereo, double ceiling,
          bool verbose) {
    const size_t frames = stereo.size() / 2;
    const double sample = kovra_test::SamplePeak(stereo.data(), frames);
    const double truePeak = kovra_test::TruePeak(stereo.data(), frames);
    for (float value : stereo) {
        peaks.samplesOver += std::fabs(value) > ceiling;
    }
    peaks.sample = std::max(peaks.sample, sample);
    if (truePeak > peaks.truePeak) {
        peaks.truePeak = truePeak;
        peaks.worst = name;
    }
    if (verbose) {
        std::printf("    %-20s %8.2f %8.2f\n", name.c_str(), Db(sample), Db(truePeak));
    }
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 1.0;
    bool verbose = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "-v") == 0) {
            verbose = true;
        } else {
            seconds = std::max(0.1, std::atof(argv[index]));
        }
    }
    // The default presets' ceilings; the bypass configuration has none.
    const double ceilingsDb[3] = {-1.0, -1.0, -0.5};
    const struct {
        const char* name;
        int channels;
    } configurations[] = {{"2_ch", 2},        {"2_ch_bypass", 2}, {"6_ch", 6},
                          {"6_ch_bypass", 6}, {"8_ch", 8},        {"8_ch_bypass", 8}};
    std::printf("%g s per signal; peaks are the largest over the corpus; TP: true peak (8x)\n",
                seconds);
    std::printf("%-12s %6s %6s %9s %11s %9s %9s %12s  %s\n", "config", "rate", "preset", "ceiling",
                "sample dBFS", "TP dBTP", "TP-ceil", "samples over", "worst signal");
    for (int rate : {48000, 96000}) {
        const std::vector<kovra_test::NamedSignal> corpus =
            kovra_test::TruePeakCorpus(rate, seconds);
        Peaks input;
        for (const kovra_test::NamedSignal& signal : corpus) {
            Note(input, signal.name, signal.stereo, 1.0, false);
        }
        std::printf("%-12s %6d %6s %9s %11.2f %9.2f %9s %12zu  %s\n", "(input)", rate, "-", "-",
                    Db(input.sample), Db(input.truePeak), "-", input.samplesOver,
                    input.worst.c_str());
        for (const auto& configuration : configurations) {
            for (int preset = 0; preset < 3; ++preset) {
                const double ceiling = std::pow(10.0, ceilingsDb[preset] / 20.0);
                if (verbose) {
                    std::printf("  %s preset %d at %d Hz: sample dBFS, true peak dBTP\n",
                                configuration.name, preset, rate);
                }
                Peaks peaks;
                for (const kovra_test::NamedSignal& signal : corpus) {
                    Note(peaks, signal.name,
                         Run(configuration.name, configuration.channels, rate, preset,
                             signal.stereo),
                         ceiling, verbose);
                }
                std::printf("%-12s %6d %6d %9.2f %11.2f %9.2f %9.2f %12zu  %s\n",
                            configuration.name, rate, preset, ceilingsDb[preset], Db(peaks.sample),
                            Db(peaks.truePeak), Db(peaks.truePeak) - ceilingsDb[preset],
                            peaks.samplesOver, peaks.worst.c_str());
            }
        }
    }
    return 0;
}
