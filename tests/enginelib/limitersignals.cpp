#include "limitersignals.h"

#include <algorithm>
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

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Pink noise by the Voss method: the sum of sixteen random values, value k drawn anew every 2^k
// frames, one more drawn every frame; scaled to peak at 1.
std::vector<float> PinkNoise(size_t frames, std::mt19937& random) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    constexpr int kRows = 16;
    float rows[kRows] = {};
    float sum = 0.0f;
    std::vector<float> noise(frames);
    float peak = 0.0f;
    for (size_t frame = 0; frame < frames; ++frame) {
        for (int row = 0; row < kRows; ++row) {
            if (frame % (size_t{1} << row) == 0) {
                sum -= rows[row];
                rows[row] = unit(random);
                sum += rows[row];
            }
        }
        noise[frame] = sum + unit(random);
        peak = std::max(peak, std::fabs(noise[frame]));
    }
    for (float& sample : noise) {
        sample /= peak;
    }
    return noise;
}

// A kick drum every half second: a sine falling from 150 to 50 Hz, decaying over 100 ms.
double Kick(size_t frame, double sampleRate) {
    const double t = std::fmod(static_cast<double>(frame) / sampleRate, 0.5);
    const double phase = kTwoPi * (50.0 * t + 100.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
    return std::exp(-t / 0.1) * std::sin(phase);
}

} // namespace

std::vector<NamedSignal> TruePeakCorpus(double sampleRate, double seconds) {
    const auto frames = static_cast<size_t>(sampleRate * seconds);
    std::vector<NamedSignal> corpus;
    auto add = [&](const std::string& name, auto frameValues) {
        NamedSignal signal{name, std::vector<float>(2 * frames)};
        for (size_t frame = 0; frame < frames; ++frame) {
            const auto [left, right] = frameValues(frame);
            signal.stereo[2 * frame] = static_cast<float>(left);
            signal.stereo[2 * frame + 1] = static_cast<float>(right);
        }
        corpus.push_back(std::move(signal));
    };
    for (double frequency : {50.0, 1000.0, 5000.0, 9600.0, 12000.0, 16000.0, 19200.0, 20000.0}) {
        // One hertz per `seconds` more: the phase against the samples turns once.
        const double step = kTwoPi * (frequency + 1.0 / seconds) / sampleRate;
        add("tone " + std::to_string(static_cast<int>(frequency)) + " Hz", [&](size_t frame) {
            const double x = step * static_cast<double>(frame);
            return std::pair{2.0 * std::sin(x), 2.0 * std::sin(x + 1.0)};
        });
    }
    for (double frequency : {50.0, 1000.0, 4000.0}) {
        add("square " + std::to_string(static_cast<int>(frequency)) + " Hz", [&](size_t frame) {
            const double cycles = frequency * static_cast<double>(frame) / sampleRate;
            const double value = std::fmod(cycles, 1.0) < 0.5 ? 1.0 : -1.0;
            return std::pair{value, -value};
        });
    }
    std::mt19937 random(11);
    const std::vector<float> pinkLeft = PinkNoise(frames, random);
    const std::vector<float> pinkRight = PinkNoise(frames, random);
    for (double driveDb : {6.0, 12.0}) {
        const double drive = std::pow(10.0, driveDb / 20.0) / 1.5; // the mix peaks near 1.5
        add("master +" + std::to_string(static_cast<int>(driveDb)) + " dB", [&](size_t frame) {
            const double kick = Kick(frame, sampleRate);
            auto clip = [](double value) { return std::clamp(value, -1.0, 1.0); };
            return std::pair{clip(drive * (pinkLeft[frame] * 0.7 + kick)),
                             clip(drive * (pinkRight[frame] * 0.7 + kick))};
        });
    }
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    add("white noise", [&](size_t) { return std::pair{unit(random), unit(random)}; });
    add("pink noise", [&](size_t frame) { return std::pair{pinkLeft[frame], pinkRight[frame]}; });
    return corpus;
}

std::vector<float> SpreadToChannels(const std::vector<float>& stereo, int channels) {
    const size_t frames = stereo.size() / 2;
    std::vector<float> spread(frames * static_cast<size_t>(channels), 0.0f);
    for (size_t frame = 0; frame < frames; ++frame) {
        const float left = stereo[2 * frame];
        const float right = stereo[2 * frame + 1];
        float* out = spread.data() + frame * static_cast<size_t>(channels);
        out[0] = left;
        out[1] = right;
        if (channels >= 6) {
            out[2] = 0.5f * (left + right);
            out[4] = left;
            out[5] = right;
        }
        if (channels == 8) {
            out[6] = left;
            out[7] = right;
        }
    }
    return spread;
}

} // namespace kovra_test
