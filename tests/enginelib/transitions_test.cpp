// Starts and preset switches without clicks: a fresh instance fades in, a live switch
// crossfades from the old chain to the new one, and neither makes a larger sample step than a
// small multiple of the signal's own.
#include "enginetesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using kovra_test::Engine;

constexpr double kTwoPi = 6.283185307179586476925286766559;

struct Layout {
    const char* configuration;
    int channels;
};

// A 200 Hz cosine on every channel: at its peak when it starts, so a hard start jumps by its
// full amplitude, while its own largest step is about 3 % of that at 48 kHz.
std::vector<float> Tone(int channels, size_t frames, double rate) {
    std::vector<float> samples(static_cast<size_t>(channels) * frames);
    for (size_t frame = 0; frame < frames; ++frame) {
        const float value = 0.25f * static_cast<float>(std::cos(kTwoPi * 200.0 * frame / rate));
        std::fill_n(samples.begin() + frame * channels, channels, value);
    }
    return samples;
}

// The largest difference between neighbouring samples of a channel in frames [begin, end),
// the frame before the first counting as silence when begin is 0.
float LargestStep(const std::vector<float>& stereo, size_t begin, size_t end) {
    float largest = 0.0f;
    for (size_t frame = begin; frame < end; ++frame) {
        for (size_t channel = 0; channel < 2; ++channel) {
            const float before = frame == 0 ? 0.0f : stereo[2 * (frame - 1) + channel];
            largest = std::max(largest, std::fabs(stereo[2 * frame + channel] - before));
        }
    }
    return largest;
}

// Feeds the input in 10 ms blocks, asking for `presets[b % size]` before block b.
std::vector<float> Play(Engine& engine, const std::vector<float>& input, int channels,
                        size_t blockFrames, const std::vector<int>& presets, size_t switchBlock) {
    std::vector<float> output;
    const size_t frames = input.size() / channels;
    for (size_t start = 0, block = 0; start < frames; start += blockFrames, ++block) {
        if (block >= switchBlock) {
            engine.load(presets[(block - switchBlock) % presets.size()]);
        }
        const size_t count = std::min(blockFrames, frames - start);
        const std::vector<float> piece(input.begin() + start * channels,
                                       input.begin() + (start + count) * channels);
        const std::vector<float> out = engine.process(piece, channels);
        output.insert(output.end(), out.begin(), out.end());
    }
    return output;
}

constexpr float kAllowedStepRatio = 2.0f;

TEST(Transitions, FreshInstanceFadesIn) {
    const Layout layouts[] = {{"2_ch", 2},        {"2_ch_bypass", 2}, {"6_ch", 6},
                              {"6_ch_bypass", 6}, {"8_ch", 8},        {"8_ch_bypass", 8}};
    for (const Layout& layout : layouts) {
        for (int32_t rate : {48000, 96000}) {
            for (int preset = 0; preset < 3; ++preset) {
                SCOPED_TRACE(std::string(layout.configuration) + " preset " +
                             std::to_string(preset) + " at " + std::to_string(rate));
                Engine engine(layout.configuration);
                ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, layout.channels, rate / 100));
                ASSERT_EQ(KovraResult_kOk, engine.load(preset));
                const size_t frames = static_cast<size_t>(rate) / 2;
                const std::vector<float> output = Play(engine, Tone(layout.channels, frames, rate),
                                                       layout.channels, rate / 100, {preset}, 0);
                const float own = LargestStep(output, frames * 3 / 5, frames);
                EXPECT_LE(LargestStep(output, 0, frames / 10), kAllowedStepRatio * own);
            }
        }
    }
}

TEST(Transitions, LiveSwitchCrossfadesAndThenRunsTheNewChain) {
    const Layout layouts[] = {{"2_ch", 2}, {"2_ch_bypass", 2}, {"6_ch", 6}, {"8_ch_bypass", 8}};
    constexpr int32_t kRate = 48000;
    constexpr size_t kBlock = kRate / 100;
    constexpr size_t kFrames = kRate * 6 / 10; // the switch comes at half of this
    for (const Layout& layout : layouts) {
        const std::vector<float> input = Tone(layout.channels, kFrames, kRate);
        for (int from = 0; from < 3; ++from) {
            for (int to = 0; to < 3; ++to) {
                if (to == from) {
                    continue;
                }
                SCOPED_TRACE(std::string(layout.configuration) + " preset " + std::to_string(from) +
                             " to " + std::to_string(to));
                Engine engine(layout.configuration);
                ASSERT_EQ(KovraResult_kOk, engine.prepare(kRate, layout.channels, kBlock));
                ASSERT_EQ(KovraResult_kOk, engine.load(from));
                const std::vector<float> switched =
                    Play(engine, input, layout.channels, kBlock, {to}, kFrames / 2 / kBlock);
                const float own = std::max(LargestStep(switched, kFrames / 5, kFrames / 2),
                                           LargestStep(switched, kFrames * 4 / 5, kFrames));
                EXPECT_LE(LargestStep(switched, kFrames / 2, kFrames * 3 / 5),
                          kAllowedStepRatio * own);

                // Once the crossfade is over, only the new chain is heard.
                Engine reference(layout.configuration);
                ASSERT_EQ(KovraResult_kOk, reference.prepare(kRate, layout.channels, kBlock));
                ASSERT_EQ(KovraResult_kOk, reference.load(to));
                const std::vector<float> expected =
                    Play(reference, input, layout.channels, kBlock, {to}, 0);
                for (size_t index = 2 * kFrames * 5 / 6; index < 2 * kFrames; ++index) {
                    ASSERT_NEAR(expected[index], switched[index], 1e-6f) << "sample " << index;
                }
            }
        }
    }
}

TEST(Transitions, SwitchRequestedEveryFewMillisecondsStaysSmooth) {
    // Each request waits until the crossfade before it has finished.
    constexpr int32_t kRate = 48000;
    constexpr size_t kBlock = 96; // 2 ms
    constexpr size_t kFrames = kRate / 2;
    Engine engine("2_ch");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(kRate, 2, kBlock));
    constexpr size_t kFirstSwitchBlock = 100;
    const std::vector<float> output =
        Play(engine, Tone(2, kFrames, kRate), 2, kBlock, {1, 2, 0}, kFirstSwitchBlock);
    EXPECT_LE(LargestStep(output, kFirstSwitchBlock * kBlock, kFrames),
              kAllowedStepRatio * LargestStep(output, kFrames / 10, kFirstSwitchBlock * kBlock));
}

} // namespace
