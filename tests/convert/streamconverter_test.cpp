// The conversion itself: exactly the input's duration at the new rate, whatever the blocks; in
// floating point, so nothing is clipped; close to the ideal resampled signal.
#include "floatwavstream.h"
#include "speakerorder.h"
#include "streamconverter.h"
#include "wavreader.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

ConversionPlan StereoPlan(uint32_t from, uint32_t to) {
    ConversionPlan plan;
    plan.from = {from, 2, 0x3};
    plan.to = {to, 2, 0x3};
    plan.mix = {{{0, 1.0}}, {{1, 1.0}}};
    return plan;
}

// Converts `input` (interleaved stereo) in blocks of `block` frames; the output in `output`.
bool Convert(const ConversionPlan& plan, const std::vector<float>& input, size_t block,
             std::vector<float>& output, std::string& error) {
    StreamConverter converter;
    output.clear();
    const size_t channels = plan.from.channels;
    const auto sink = [&](const float* frames, size_t count) {
        output.insert(output.end(), frames, frames + count * plan.to.channels);
        return true;
    };
    if (!converter.Start(plan, input.size() / channels, sink, error)) {
        return false;
    }
    for (size_t frame = 0; frame < input.size() / channels; frame += block) {
        const size_t count = std::min(block, input.size() / channels - frame);
        if (!converter.Push(input.data() + frame * channels, count, error)) {
            return false;
        }
    }
    return converter.Finish(error);
}

std::vector<float> Sine(double amplitude, double frequency, uint32_t rate, size_t frames) {
    std::vector<float> samples(2 * frames);
    for (size_t frame = 0; frame < frames; ++frame) {
        const double value = amplitude * std::sin(2 * kPi * frequency * frame / rate);
        samples[2 * frame] = samples[2 * frame + 1] = static_cast<float>(value);
    }
    return samples;
}

TEST(StreamConverter, DeliversTheInputsDurationAtTheNewRateWhateverTheBlocks) {
    for (const auto& [from, to, frames] :
         std::vector<std::tuple<uint32_t, uint32_t, size_t>>{{44100, 48000, 0},
                                                             {44100, 48000, 1},
                                                             {44100, 48000, 44101},
                                                             {192000, 96000, 12345},
                                                             {88200, 96000, 30000},
                                                             {48000, 48000, 777}}) {
        for (const size_t block : {size_t{1000}, size_t{16384}}) {
            std::vector<float> output;
            std::string error;
            ASSERT_TRUE(
                Convert(StereoPlan(from, to), Sine(0.5, 1000, from, frames), block, output, error))
                << error;
            EXPECT_EQ(output.size() / 2, ConvertedFrames(frames, from, to))
                << from << " " << frames;
        }
    }
}

// 44.1 kHz to 48 kHz against the same sine computed at 48 kHz in double precision, away from
// the ends: the resampler's error, and a +6 dBFS peak kept.
TEST(StreamConverter, ResamplesCloseToTheIdealSignalAndNeverClips) {
    std::vector<float> output;
    std::string error;
    ASSERT_TRUE(
        Convert(StereoPlan(44100, 48000), Sine(2.0, 997, 44100, 44100), 4096, output, error))
        << error;
    ASSERT_EQ(output.size(), 2u * 48000);
    double worst = 0.0;
    double peak = 0.0;
    for (size_t frame = 4800; frame < 43200; ++frame) {
        const double ideal = 2.0 * std::sin(2 * kPi * 997.0 * frame / 48000);
        worst = std::max(worst, std::fabs(output[2 * frame] - ideal));
        peak = std::max(peak, static_cast<double>(std::fabs(output[2 * frame])));
    }
    EXPECT_LT(20 * std::log10(worst / 2.0), -120.0); // against the peak: the float's own floor
    EXPECT_GT(peak, 1.999);
}

TEST(StreamConverter, MixesInDoublePrecisionAndCopiesExactlyWhereNothingMixes) {
    ConversionPlan plan;
    plan.from = {48000, 3, 0x7};
    plan.to = {48000, 2, 0x3};
    plan.mix = {{{0, 1.0}, {2, std::sqrt(0.5)}}, {{1, 1.0}}};
    const std::vector<float> input = {0.25f, 0.123456789f, 1.0f, -1.5f, 0.5f, 2.0f};
    std::vector<float> output;
    std::string error;
    ASSERT_TRUE(Convert(plan, input, 1, output, error)) << error;
    ASSERT_EQ(output.size(), 4u);
    EXPECT_EQ(output[0], static_cast<float>(0.25 + std::sqrt(0.5)));
    EXPECT_EQ(output[1], 0.123456789f);
    EXPECT_EQ(output[2], static_cast<float>(-1.5 + 2.0 * std::sqrt(0.5)));
    EXPECT_EQ(output[3], 0.5f);
}

// The stream's header reads back through the host's own reader with the converted shape.
TEST(FloatWavStream, TheHeaderGivesTheShapeAndTheExactSizeRf64PastFourGiB) {
    std::vector<uint8_t> bytes = FloatWavHeader(6, 48000, 0x60F, 3);
    bytes.resize(bytes.size() + 3 * 6 * 4);
    WavReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(std::make_unique<MemoryByteSource>(bytes), error)) << error;
    EXPECT_EQ(reader.Format().channels, 6);
    EXPECT_EQ(reader.Format().sampleRate, 48000u);
    EXPECT_EQ(reader.Format().channelMask, 0x60Fu);
    EXPECT_EQ(reader.Format().encoding, SampleEncoding::Float);
    EXPECT_EQ(reader.Format().frameCount, 3u);
    EXPECT_TRUE(reader.Notes().empty());
    const uint64_t frames = uint64_t{1} << 30; // 8 GiB of stereo float
    const std::vector<uint8_t> large = FloatWavHeader(2, 48000, 0x3, frames);
    EXPECT_EQ(std::string(large.begin(), large.begin() + 4), "RF64");
    EXPECT_EQ(std::string(large.begin() + 12, large.begin() + 16), "ds64");
    uint64_t dataSize = 0;
    for (int index = 7; index >= 0; --index) {
        dataSize = dataSize << 8 | large[28 + index];
    }
    EXPECT_EQ(dataSize, frames * 8);
}

// Vorbis and Opus put the centre between the fronts and the LFE last; the stream follows the
// mask's order. A map naming one speaker twice names none.
TEST(SpeakerOrder, ChannelsGoToTheirMaskSlots) {
    const SpeakerList vorbis = VorbisSpeakers(6);
    EXPECT_EQ(MaskOf(vorbis), 0x3Fu);
    EXPECT_EQ(MaskOrder(vorbis), (std::vector<uint16_t>{0, 2, 1, 5, 3, 4}));
    EXPECT_EQ(MaskOrder({0x2, 0, 0x1}), (std::vector<uint16_t>{2, 0, 1}));
    EXPECT_EQ(MaskOf(DefaultSpeakers(7, true)), 0x70Fu);
    EXPECT_EQ(MaskOf(DefaultSpeakers(12, false)), 0u);
    EXPECT_TRUE(SpeakersFromChannelMap({2, 2}).empty());
}

} // namespace
