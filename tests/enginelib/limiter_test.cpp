// The output limiter on its own: the ceiling, between samples too, over hostile material with one
// gain for both channels, a steady gain on steady tones, a shaped attack, and the recovery on
// its configured hold and release curve, back to exact unity. (Its delay is checked through the
// C interface.)
#include "limiter.h"
#include "limitersignals.h"
#include "signalanalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using kovra::Limiter;
using kovra::LimiterSettings;

LimiterSettings Settings(double ceilingDb, double releaseMs = 50.0, double holdMs = 25.0) {
    LimiterSettings settings;
    settings.ceilingDb = ceilingDb;
    settings.releaseMs = releaseMs;
    settings.holdMs = holdMs;
    return settings;
}

float Level(double db) {
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

// Runs interleaved stereo through the limiter in place, in calls of `blockFrames`.
void Process(Limiter& limiter, std::vector<float>& stereo, uint32_t blockFrames) {
    const size_t frames = stereo.size() / 2;
    for (size_t start = 0; start < frames; start += blockFrames) {
        const auto count = static_cast<uint32_t>(std::min<size_t>(blockFrames, frames - start));
        limiter.process(stereo.data() + 2 * start, count);
    }
}

// The gain each input frame received: its output, `latency` frames later, over it. The left
// channel is read; the input must not be 0 where the gain is asked for.
std::vector<double> GainsOf(const std::vector<float>& input, const std::vector<float>& output,
                            uint32_t latency) {
    std::vector<double> gains(input.size() / 2 - latency);
    for (size_t frame = 0; frame < gains.size(); ++frame) {
        gains[frame] = static_cast<double>(output[2 * (frame + latency)]) / input[2 * frame];
    }
    return gains;
}

TEST(Limiter, NothingLeavesAboveTheCeilingAndBothChannelsShareOneGain) {
    for (double rate : {8000.0, 44100.0, 96000.0, 384000.0}) {
        for (double ceilingDb : {0.0, -6.0}) {
            for (uint32_t blockFrames : {1u, 13u, 480u}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz, ceiling " + std::to_string(ceilingDb) +
                             " dB, blocks of " + std::to_string(blockFrames));
                Limiter limiter;
                limiter.configure(Settings(ceilingDb, 5.0 + blockFrames, blockFrames % 30), rate);
                const float ceiling = Level(ceilingDb);
                const uint32_t latency = limiter.latencyFrames();
                for (auto& signal : kovra_test::CeilingCorpus(rate, blockFrames, 0.1)) {
                    SCOPED_TRACE(signal.name);
                    std::vector<float> output = signal.stereo;
                    Process(limiter, output, blockFrames);
                    // The clamp keeps the samples under the ceiling whatever the gain does; the
                    // true peak of what it clips would stand over it. (Below 10 kHz the limiter
                    // holds the samples alone; the meter is slow at 384 kHz.)
                    if (limiter.holdsTruePeaks() && rate <= 96000.0) {
                        EXPECT_LE(kovra_test::TruePeak(output.data(), output.size() / 2),
                                  ceiling * Level(0.1));
                    }
                    // The right channel a scaled, inverted copy of the left: a gain held back by
                    // the final clamp on one channel (as a look-ahead too short would leave it)
                    // shows as two different gains.
                    std::vector<float> linked = signal.stereo;
                    for (size_t frame = 0; frame < linked.size() / 2; ++frame) {
                        linked[2 * frame + 1] = -0.75f * linked[2 * frame];
                    }
                    output = linked;
                    limiter.clearState();
                    Process(limiter, output, blockFrames);
                    for (size_t frame = 0; frame + latency < linked.size() / 2; ++frame) {
                        const float left = linked[2 * frame];
                        if (std::fabs(left) < 1e-3f) {
                            continue;
                        }
                        const double leftGain = output[2 * (frame + latency)] / left;
                        const double rightGain =
                            output[2 * (frame + latency) + 1] / linked[2 * frame + 1];
                        ASSERT_NEAR(leftGain, rightGain, 1e-5 * leftGain) << "frame " << frame;
                    }
                }
            }
        }
    }
}

TEST(Limiter, SteadyTonesGetASteadyGain) {
    // 6 dB over the ceiling, once settled (the second second); 25 Hz is the lowest tone that
    // the default 25 ms hold spans.
    for (double rate : {48000.0, 96000.0}) {
        for (double frequency : {25.0, 50.0, 997.0, 1000.0}) {
            SCOPED_TRACE(std::to_string(frequency) + " Hz at " + std::to_string(rate));
            Limiter limiter;
            limiter.configure(Settings(-1.0), rate);
            std::vector<float> tone =
                kovra_test::StereoTone(2 * static_cast<size_t>(rate), frequency, rate, Level(5.0));
            Process(limiter, tone, static_cast<uint32_t>(rate / 100));
            const auto second = static_cast<size_t>(rate);
            EXPECT_LT(kovra_test::ThdPlusN(tone.data() + 2 * second, second, 2, frequency, rate),
                      1e-4); // 0.01 %
            float peak = 0.0f;
            for (size_t index = 2 * second; index < tone.size(); ++index) {
                peak = std::max(peak, std::fabs(tone[index]));
            }
            EXPECT_GT(peak, 0.995f * Level(-1.0)); // limited to the ceiling, not below it
        }
    }
}

// A steady 0.1 with one sample four times over the ceiling at `spike`: the probe that shows the
// gain every frame gets.
std::vector<float> ProbeWithSpike(size_t frames, size_t spike, float ceiling) {
    std::vector<float> probe(2 * frames, 0.1f);
    probe[2 * spike] = probe[2 * spike + 1] = 4.0f * ceiling;
    return probe;
}

TEST(Limiter, AttackIsShapedAndReachesThePeakInTime) {
    for (double rate : {44100.0, 96000.0}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        Limiter limiter;
        limiter.configure(Settings(0.0), rate);
        const uint32_t latency = limiter.latencyFrames();
        const size_t spike = static_cast<size_t>(rate / 20) + 5;
        const std::vector<float> input = ProbeWithSpike(spike + 2 * latency, spike, 1.0f);
        std::vector<float> output = input;
        Process(limiter, output, 64);
        const std::vector<double> gains = GainsOf(input, output, latency);
        EXPECT_NEAR(0.25, gains[spike], 1e-6);
        for (size_t frame = 0; frame + latency < spike; ++frame) {
            ASSERT_EQ(1.0, gains[frame]) << "frame " << frame; // not before the look-ahead
        }
        // Down from unity to the peak's gain over the look-ahead, never in one big step.
        for (size_t frame = spike - latency; frame < spike; ++frame) {
            const double drop = gains[frame] - gains[frame + 1];
            ASSERT_GE(drop, -1e-6) << "frame " << frame;
            ASSERT_LE(drop, 0.05 * 0.75) << "frame " << frame;
        }
    }
}

TEST(Limiter, GainRecoversOnItsConfiguredCurve) {
    const struct {
        double rate, releaseMs, holdMs;
    } cases[] = {{48000, 50, 25}, {48000, 200, 0}, {48000, 10, 100}, {96000, 60, 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, release " + std::to_string(c.releaseMs) +
                     " ms, hold " + std::to_string(c.holdMs) + " ms");
        Limiter limiter;
        limiter.configure(Settings(-1.0, c.releaseMs, c.holdMs), c.rate);
        const uint32_t latency = limiter.latencyFrames();
        const double tau = c.releaseMs * 1e-3 * c.rate;
        const double hold = c.holdMs * 1e-3 * c.rate;
        const size_t spike = 1000;
        const auto frames = static_cast<size_t>(spike + hold + 20 * tau);
        const std::vector<float> input = ProbeWithSpike(frames + latency, spike, Level(-1.0));
        std::vector<float> output = input;
        Process(limiter, output, 480);
        const std::vector<double> gains = GainsOf(input, output, latency);
        const double dip = 0.75; // the spike asks for a gain of 1/4
        // Held at the spike's gain for the hold time.
        for (size_t frame = spike; frame <= spike + hold; ++frame) {
            ASSERT_NEAR(0.25, gains[frame], 1e-4) << "frame " << frame;
        }
        // Then 1 - gain falls by e once per release time. The release starts about a millisecond
        // after the hold (the attack's smoothing and the gain's steps of a quarter millisecond).
        for (int constants = 1; constants <= 3; ++constants) {
            size_t frame = spike;
            while (frame < gains.size() && 1.0 - gains[frame] > dip * std::exp(-constants)) {
                ++frame;
            }
            const double expected = spike + hold + 1e-3 * c.rate + constants * tau;
            EXPECT_NEAR(expected, static_cast<double>(frame), 0.5e-3 * c.rate + 0.01 * tau)
                << constants << " release times";
        }
        // And back at exactly unity: the probe passes bit for bit again.
        EXPECT_EQ(1.0, gains.back());
    }
}

TEST(Limiter, OutputDoesNotDependOnHowTheStreamIsCut) {
    std::vector<float> input(2 * 44100);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-2.0f, 2.0f);
    for (float& sample : input) {
        sample = noise(random) * (random() % 500 == 0 ? 20.0f : 1.0f);
    }
    Limiter whole;
    whole.configure(Settings(-3.0, 20.0, 5.0), 44100);
    std::vector<float> oneCall = input;
    whole.process(oneCall.data(), static_cast<uint32_t>(oneCall.size() / 2));
    Limiter pieces;
    pieces.configure(Settings(-3.0, 20.0, 5.0), 44100);
    std::vector<float> cut = input;
    for (size_t start = 0; start < cut.size() / 2;) {
        const size_t count = std::min<size_t>(1 + random() % 997, cut.size() / 2 - start);
        pieces.process(cut.data() + 2 * start, static_cast<uint32_t>(count));
        start += count;
    }
    EXPECT_EQ(oneCall, cut);
}

} // namespace
