// The fold-down to stereo per input layout, and the bit-exact stereo bypass.
#include "downmix.h"
#include "enginesettings.h"
#include "enginetesting.h"
#include "limitersignals.h"
#include "signalanalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using kovra_test::Engine;

// The normalised ITU-R BS.775 fold-down: front, centre and surrounds.
constexpr float kF6 = 0.4142f, kC6 = 0.2929f, kS6 = 0.2929f;
constexpr float kF8 = 0.3694f, kC8 = 0.2612f, kS8 = 0.1847f;

struct ChannelGains {
    float left;
    float right;
};

struct LayoutCase {
    const char* configuration;
    int channels;
    std::vector<ChannelGains> gains; // per input channel, in FL FR FC LFE BL BR SL SR order
};

const std::vector<LayoutCase>& Layouts() {
    static const std::vector<LayoutCase> layouts = {
        {"2_ch_bypass", 2, {{1, 0}, {0, 1}}},
        {"6_ch_bypass", 6, {{kF6, 0}, {0, kF6}, {kC6, kC6}, {0, 0}, {kS6, 0}, {0, kS6}}},
        {"8_ch_bypass",
         8,
         {{kF8, 0}, {0, kF8}, {kC8, kC8}, {0, 0}, {kS8, 0}, {0, kS8}, {kS8, 0}, {0, kS8}}},
    };
    return layouts;
}

TEST(Downmix, EachInputChannelReachesStereoWithItsGain) {
    constexpr float kLevel = 0.25f; // below every limiter ceiling: the fold-down alone shows
    for (const LayoutCase& layout : Layouts()) {
        for (int channel = 0; channel < layout.channels; ++channel) {
            SCOPED_TRACE(std::string(layout.configuration) + " channel " + std::to_string(channel));
            Engine engine(layout.configuration);
            ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, layout.channels, 64));
            std::vector<float> input(layout.channels, 0.0f);
            input[channel] = kLevel;
            const std::vector<float> output = engine.processAligned(input, layout.channels);
            EXPECT_FLOAT_EQ(kLevel * layout.gains[channel].left, output[0]);
            EXPECT_FLOAT_EQ(kLevel * layout.gains[channel].right, output[1]);
        }
    }
}

TEST(Downmix, AllChannelsTogetherAddUp) {
    // FL FR FC LFE BL BR SL SR with distinct levels.
    const std::vector<float> input = {0.1f, -0.2f, 0.3f, 0.9f, 0.05f, -0.15f, 0.02f, 0.04f};
    Engine engine("8_ch_bypass");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 8, 64));
    const std::vector<float> output = engine.processAligned(input, 8);
    EXPECT_NEAR(kF8 * 0.1f + kC8 * 0.3f + kS8 * 0.05f + kS8 * 0.02f, output[0], 1e-6f);
    EXPECT_NEAR(kF8 * -0.2f + kC8 * 0.3f + kS8 * -0.15f + kS8 * 0.04f, output[1], 1e-6f);
}

TEST(Downmix, DefaultSurroundFoldDownStaysOutOfTheLimiter) {
    // Every channel in phase is the worst case. Just under preset 2's ceiling (-0.5 dBFS), the
    // output is the plain fold-down: the limiter does nothing. And the case that used to sit in
    // the limiter, six channels of 50 Hz at -3 dBFS, comes out clean.
    for (const LayoutCase& layout : Layouts()) {
        if (layout.channels == 2) {
            continue;
        }
        SCOPED_TRACE(layout.configuration);
        for (const auto& [frequency, levelDb] : {std::pair{997.0, -0.6}, std::pair{50.0, -3.0}}) {
            Engine engine(layout.configuration);
            ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, layout.channels, 480));
            ASSERT_EQ(KovraResult_kOk, engine.load(2));
            const auto level = static_cast<float>(std::pow(10.0, levelDb / 20.0));
            const std::vector<float> tone = kovra_test::StereoTone(48000, frequency, 48000, level);
            std::vector<float> input(layout.channels * tone.size() / 2);
            for (size_t index = 0; index < input.size(); ++index) {
                input[index] = tone[2 * (index / layout.channels)];
            }
            const std::vector<float> output = engine.processAligned(input, layout.channels);
            double gain = 0.0;
            for (const ChannelGains& channel : layout.gains) {
                gain += channel.left;
            }
            for (size_t frame = 0; frame < tone.size() / 2; ++frame) {
                ASSERT_NEAR(gain * tone[2 * frame], output[2 * frame], 1e-6) << frame;
            }
            EXPECT_LT(kovra_test::ThdPlusN(output.data() + 24000, 12000, 2, frequency, 48000),
                      0.001);
        }
    }
}

TEST(Downmix, StereoBypassIsBitExactForEveryKindOfSample) {
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              3.5f, // overs pass untouched: the bypass adds nothing
                              std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::min() / 4,
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              0.123456789f};
    std::vector<float> input;
    for (float left : specials) {
        for (float right : specials) {
            input.push_back(left);
            input.push_back(right);
        }
    }
    Engine engine("2_ch_bypass");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(96000, 2, 16)); // several pieces, too
    for (int preset : {0, 1, 2}) {
        ASSERT_EQ(KovraResult_kOk, engine.load(preset));
        const std::vector<float> output = engine.process(input, 2);
        ASSERT_EQ(input.size(), output.size());
        EXPECT_EQ(0, std::memcmp(input.data(), output.data(), input.size() * sizeof(float)));
    }
}

TEST(Downmix, InPlaceProcessingGivesTheSameResult) {
    for (const LayoutCase& layout : Layouts()) {
        SCOPED_TRACE(layout.configuration);
        // Longer than the limiter's look-ahead, so that the fold-down shows in the output.
        std::vector<float> input(static_cast<size_t>(layout.channels) * 400);
        for (size_t index = 0; index < input.size(); ++index) {
            input[index] = std::sin(0.37f * static_cast<float>(index)) * 0.3f;
        }
        Engine engine(layout.configuration);
        ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, layout.channels, 32));
        const std::vector<float> expected = engine.process(input, layout.channels);
        ASSERT_EQ(KovraResult_kOk, Kovra_reset(engine.handle()));
        std::vector<float> buffer = input;
        ASSERT_EQ(KovraResult_kOk,
                  Kovra_processBlock(engine.handle(), buffer.data(), buffer.data(), 400));
        EXPECT_EQ(0, std::memcmp(expected.data(), buffer.data(), expected.size() * sizeof(float)));
    }
}

TEST(Downmix, NonFiniteAndAbsurdInputBecomesSafe) {
    kovra::ConfigurationSettings configuration = kovra::BuiltInSettings().configurations[4];
    const kovra::Downmix downmix(configuration);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A NaN in the LFE (gain 0) must not spoil the rest; infinity is held at the limit.
    const float input[16] = {0.5f, 0.25f, 0, nan, 0, 0, 0, 0, inf, -1e30f, 0, 0, 0, 0, 0, 1e-30f};
    float output[4] = {};
    downmix.mix(input, output, 2);
    EXPECT_FLOAT_EQ(0.5f * kF8, output[0]);
    EXPECT_FLOAT_EQ(0.25f * kF8, output[1]);
    EXPECT_FLOAT_EQ(kovra::Downmix::kSampleLimit * kF8, output[2]);
    EXPECT_FLOAT_EQ(-kovra::Downmix::kSampleLimit * kF8, output[3]);
}

} // namespace
