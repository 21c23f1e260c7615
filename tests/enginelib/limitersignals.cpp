#include "limitersignals.h"

#include <cmath>
#include <random>

namespace kovra_test {

std::vector<float> StereoTone(size_t frames, double frequencyHz, double sampleRate,
                              float amplitude) {
    std::vector<float> stereo(2 * frames);
    const double step = 2.0 * 3.14159265358979323846 * frequencyHz / sampleRate;
    for (size_t frame = 0; frame < frames; ++frame) {
        const float value = amplitude * static_cast<float>(std::sin(step * frame));
        stereo[2 * frame] = value;
        stereo[2 * frame + 1] = value;
    }
    return stereo;
}

std::vector<NamedSignal> CeilingCorpus(double sampleRate, uint32_t seed, double seconds) {
    const auto frames = static_cast<size_t>(sampleRate * seconds);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<NamedSignal> corpus;
    auto add = [&](const std::string& name, auto sample) {
        NamedSignal signal{name, std::vector<float>(2 * frames)};
        for (size_t index = 0; index < signal.stereo.size(); ++index) {
            signal.stereo[index] = sample(index);
        }
        corpus.push_back(std::move(signal));
    };
    for (float level : {1.5f, 8.0f, 1000.0f}) {
        add("noise x" + std::to_string(level), [&](size_t) { return level * unit(random); });
    }
    // Lone spikes over quiet noise, one every 37 frames, so they fall on every phase of the
    // limiter's internal blocks; either channel, either sign, up to +80 dBFS.
    add("spikes", [&](size_t index) {
        const size_t frame = index / 2;
        const bool spike = frame % 37 == 0 && (index % 2 == (frame / 37) % 2);
        const float size = std::pow(10.0f, 4.0f * (0.5f + 0.5f * unit(random)));
        return spike ? (unit(random) < 0 ? -size : size) : 0.05f * unit(random);
    });
    // Full-scale square waves at the Nyquist rate and slower, with a hundredfold over now and
    // then.
    add("square", [&](size_t index) {
        const size_t frame = index / 2;
        const float sign = ((frame / (1 + frame % 5)) % 2) ? 1.0f : -1.0f;
        return index % 7 == 0 ? 100.0f * sign : sign;
    });
    // A tone whose level jumps at random between -40 dB and +40 dB under and over full scale.
    float level = 1.0f;
    add("level jumps", [&](size_t index) {
        if (index % 2 == 0 && unit(random) > 0.995f) {
            level = std::pow(10.0f, 2.0f * unit(random));
        }
        return level * static_cast<float>(std::sin(0.01 * static_cast<double>(index / 2)));
    });
    return corpus;
}

} // namespace kovra_test
