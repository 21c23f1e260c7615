#include "wavreader.h"

#include "sampleconversion.h"
#include "wavbuilder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>

namespace {

bool OpenBytes(WavReader& reader, std::vector<uint8_t> bytes, std::string& error) {
    return reader.Open(std::make_unique<MemoryByteSource>(std::move(bytes)), error);
}

std::vector<float> ReadAll(WavReader& reader) {
    std::vector<float> samples(reader.FramesLeft() * reader.Format().channels);
    std::string error;
    size_t done = 0;
    while (size_t got =
               reader.ReadFrames(samples.data() + done * reader.Format().channels, 3, error)) {
        done += got;
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(done * reader.Format().channels, samples.size());
    return samples;
}

struct DecodeCase {
    const char* name;
    WavShape shape;
    std::vector<uint8_t> data;
    std::vector<float> expected;
};

class WavDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(WavDecodeTest, DecodesFullScaleAndZero) {
    const DecodeCase& item = GetParam();
    WavReader reader;
    std::string error;
    ASSERT_TRUE(OpenBytes(reader, WavFile(item.shape, item.data), error)) << error;
    EXPECT_EQ(ReadAll(reader), item.expected);
}

WavShape Shape(uint16_t tag, uint16_t channels, uint16_t bits, uint16_t subFormat = 1,
               uint16_t validBits = 0) {
    WavShape shape;
    shape.tag = tag;
    shape.channels = channels;
    shape.bits = bits;
    shape.subFormatTag = subFormat;
    shape.validBits = validBits == 0 ? bits : validBits;
    shape.channelMask = channels == 1 ? 0x4 : 0x3;
    return shape;
}

std::vector<uint8_t> FloatBytes(std::initializer_list<float> values) {
    std::vector<uint8_t> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

std::vector<uint8_t> DoubleBytes(std::initializer_list<double> values) {
    std::vector<uint8_t> bytes(values.size() * 8);
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, WavDecodeTest,
    testing::Values(
        DecodeCase{"pcm8", Shape(1, 1, 8), {0x00, 0x80, 0xC0}, {-1.0f, 0.0f, 0.5f}},
        DecodeCase{"pcm16", Shape(1, 2, 16), {0x00, 0x80, 0x00, 0x40}, {-1.0f, 0.5f}},
        DecodeCase{"pcm24", Shape(1, 1, 24), {0x00, 0x00, 0x80, 0x00, 0x00, 0x40}, {-1.0f, 0.5f}},
        DecodeCase{"pcm32", Shape(1, 1, 32), {0, 0, 0, 0x80, 0, 0, 0, 0xC0}, {-1.0f, -0.5f}},
        DecodeCase{"float32", Shape(3, 2, 32), FloatBytes({0.25f, -0.75f}), {0.25f, -0.75f}},
        DecodeCase{"float64", Shape(3, 1, 64), DoubleBytes({0.125, -1.0}), {0.125f, -1.0f}},
        DecodeCase{"extensible_pcm24_in_32", Shape(0xFFFE, 1, 32, 1, 24), {0, 0, 0, 0x40}, {0.5f}},
        DecodeCase{
            "extensible_float", Shape(0xFFFE, 2, 32, 3), FloatBytes({1.5f, -0.0f}), {1.5f, -0.0f}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

// The decoders take several samples at a time; every count, tail included, must give what the
// plain formula gives for each sample: the signed little-endian integer over full scale.
TEST(WavDecode, RandomPcmDecodesAsTheFormulaSays) {
    std::mt19937 random(7);
    for (const uint16_t bits : {uint16_t{16}, uint16_t{24}}) {
        for (size_t count = 0; count < 14; ++count) {
            std::vector<uint8_t> raw(count * bits / 8);
            for (uint8_t& byte : raw) {
                byte = static_cast<uint8_t>(random());
            }
            std::vector<float> decoded(count + 1, 9.0f);
            DecodeSamples(raw.data(), SampleEncoding::Pcm, bits, count, decoded.data());
            for (size_t index = 0; index < count; ++index) {
                int64_t value = 0;
                for (int byte = bits / 8 - 1; byte >= 0; --byte) {
                    value = value * 256 + raw[index * bits / 8 + byte];
                }
                value -= value >= (int64_t{1} << (bits - 1)) ? int64_t{1} << bits : 0;
                EXPECT_EQ(decoded[index], static_cast<float>(std::ldexp(value, 1 - bits)))
                    << bits << "-bit sample " << index << " of " << count;
            }
            EXPECT_EQ(decoded[count], 9.0f) << "wrote past the end";
        }
    }
}

TEST(WavReader, ReadsOneToEightChannelsWithTheUsualMasks) {
    const uint32_t masks[] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    for (uint16_t channels = 1; channels <= 8; ++channels) {
        WavReader reader;
        std::string error;
        ASSERT_TRUE(OpenBytes(
            reader, WavFile(Shape(1, channels, 16), std::vector<uint8_t>(channels * 2 * 5)), error))
            << error;
        EXPECT_EQ(reader.Format().channels, channels);
        EXPECT_EQ(reader.Format().frameCount, 5u);
        EXPECT_EQ(reader.Format().channelMask, masks[channels - 1]);
        EXPECT_FALSE(reader.Format().maskFromFile);
    }
}

TEST(WavReader, KeepsTheMaskOfAnExtensibleFile) {
    WavShape shape = Shape(0xFFFE, 6, 24, 1, 20);
    shape.channelMask = 0x60F;
    WavReader reader;
    std::string error;
    ASSERT_TRUE(OpenBytes(reader, WavFile(shape, std::vector<uint8_t>(18 * 4)), error)) << error;
    EXPECT_EQ(reader.Format().channelMask, 0x60Fu);
    EXPECT_TRUE(reader.Format().maskFromFile);
    EXPECT_EQ(reader.Format().validBits, 20);
    EXPECT_EQ(reader.Format().containerBits, 24);
    EXPECT_EQ(reader.Format().frameCount, 4u);
}

TEST(WavReader, SkipsOtherChunksAndTheirPadBytes) {
    const std::vector<uint8_t> data = {0x00, 0x40, 0x00, 0xC0};
    WavReader reader;
    std::string error;
    ASSERT_TRUE(OpenBytes(reader,
                          RiffFile({{"LIST", {1, 2, 3}},
                                    {"fmt ", FormatChunkBody(Shape(1, 2, 16))},
                                    {"junk", {9}},
                                    {"data", data}}),
                          error))
        << error;
    EXPECT_EQ(ReadAll(reader), (std::vector<float>{0.5f, -0.5f}));
}

struct MalformedCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* expectedWords;
};

class WavMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(WavMalformedTest, IsRefusedWithAMessageNamingTheProblem) {
    WavReader reader;
    std::string error;
    EXPECT_FALSE(OpenBytes(reader, GetParam().bytes, error));
    EXPECT_NE(error.find(GetParam().expectedWords), std::string::npos) << error;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t offset,
                             std::vector<uint8_t> patch) {
    std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<ptrdiff_t>(offset));
    return bytes;
}

const std::vector<uint8_t> kGood = WavFile(Shape(1, 2, 16), std::vector<uint8_t>(40));
const std::vector<uint8_t> kGoodExtensible =
    WavFile(Shape(0xFFFE, 2, 24), std::vector<uint8_t>(60));

// Offsets in a plain file: fmt body at 20 (tag 20, channels 22, rate 24, align 32, bits 34),
// data header at 36. In the extensible one: valid bits 38, mask 40, sub-format 44.
INSTANTIATE_TEST_SUITE_P(
    Files, WavMalformedTest,
    testing::Values(
        MalformedCase{"empty", {}, "shorter than a RIFF header"},
        MalformedCase{"not_riff", Patched(kGood, 0, {'R', 'I', 'F', 'X'}), "no RIFF/WAVE"},
        MalformedCase{"rf64_short_ds64",
                      Patched(RiffFile({{"ds64", {1, 2}}, {"data", {}}}), 0, {'R', 'F', '6', '4'}),
                      "ds64 chunk is shorter"},
        MalformedCase{"not_wave", Patched(kGood, 8, {'A', 'V', 'I', ' '}), "no RIFF/WAVE"},
        MalformedCase{"no_fmt", RiffFile({{"data", {0, 0, 0, 0}}}), "no fmt chunk"},
        MalformedCase{"no_data", RiffFile({{"fmt ", FormatChunkBody(Shape(1, 2, 16))}}),
                      "no data chunk"},
        MalformedCase{"short_fmt", RiffFile({{"fmt ", {1, 0, 2, 0}}, {"data", {}}}), "at least 16"},
        MalformedCase{"adpcm", Patched(kGood, 20, {2, 0}), "format tag 0x0002"},
        MalformedCase{"zero_channels", Patched(kGood, 22, {0, 0}), "0 channels"},
        MalformedCase{"sixty_five_channels", Patched(kGood, 22, {65, 0}), "65 channels"},
        MalformedCase{"zero_rate", Patched(kGood, 24, {0, 0, 0, 0}), "sample rate 0"},
        MalformedCase{"twelve_bits", Patched(kGood, 34, {12, 0}), "12-bit PCM"},
        MalformedCase{"float16", Patched(Patched(kGood, 20, {3, 0}), 34, {16, 0}), "16-bit float"},
        MalformedCase{"block_align", Patched(kGood, 32, {3, 0}), "block align 3"},
        MalformedCase{"fmt_past_end", Patched(kGood, 16, {0xFF, 0, 0, 0}), "fmt chunk runs past"},
        MalformedCase{"partial_frame", WavFile(Shape(1, 2, 16), std::vector<uint8_t>(6)),
                      "ends inside a frame"},
        MalformedCase{"extensible_short", Patched(kGoodExtensible, 36, {10, 0}), "shorter than 40"},
        MalformedCase{"valid_above_container", Patched(kGoodExtensible, 38, {32, 0}),
                      "32 valid bits in a 24-bit container"},
        MalformedCase{"unknown_subformat", Patched(kGoodExtensible, 44, {0x55, 0}),
                      "neither PCM nor IEEE float"}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

// A cut inside the headers is refused; a cut inside the audio leaves the whole frames before it.
TEST(WavReader, ACutFileIsRefusedInItsHeadersAndReadToItsEndInItsData) {
    const size_t dataOffset = kGoodExtensible.size() - 60;
    for (size_t length = 0; length < kGoodExtensible.size(); ++length) {
        WavReader reader;
        std::string error;
        const std::vector<uint8_t> cut(kGoodExtensible.begin(),
                                       kGoodExtensible.begin() + static_cast<ptrdiff_t>(length));
        const bool opened = OpenBytes(reader, cut, error);
        EXPECT_EQ(opened, length >= dataOffset) << "cut at " << length << ": " << error;
        if (opened) {
            EXPECT_EQ(reader.Format().frameCount, (length - dataOffset) / 6) << length;
            ASSERT_EQ(reader.Notes().size(), 1u);
            EXPECT_NE(reader.Notes()[0].find("claims 60 bytes"), std::string::npos);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

std::vector<uint8_t> Le32(uint32_t value) {
    std::vector<uint8_t> bytes;
    PutLe32(bytes, value);
    return bytes;
}

// ds64 body: RIFF size, data size, sample count (64-bit each), an empty table.
std::vector<uint8_t> Ds64(uint64_t dataSize) {
    std::vector<uint8_t> body(28, 0);
    for (int index = 0; index < 8; ++index) {
        body[8 + index] = static_cast<uint8_t>(dataSize >> (8 * index));
    }
    return body;
}

// A plain file (data header at 36) whose data chunk claims `claimed` bytes.
std::vector<uint8_t> WithDataSize(const std::vector<uint8_t>& file, uint32_t claimed) {
    return Patched(file, 40, Le32(claimed));
}

struct SizeCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint64_t frames;
    const char* note; // "" for none
};

class WavSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(WavSizeTest, ReadsTheFramesTheFileHolds) {
    WavReader reader;
    std::string error;
    ASSERT_TRUE(OpenBytes(reader, GetParam().bytes, error)) << error;
    EXPECT_EQ(reader.Format().frameCount, GetParam().frames);
    EXPECT_EQ(ReadAll(reader).size(), GetParam().frames * 2);
    const std::string notes = reader.Notes().empty() ? "" : reader.Notes()[0];
    EXPECT_EQ(reader.Notes().size(), GetParam().note[0] == 0 ? 0u : 1u) << notes;
    EXPECT_NE(notes.find(GetParam().note), std::string::npos) << notes;
}

const std::vector<uint8_t> kTenFrames = WavFile(Shape(1, 2, 16), std::vector<uint8_t>(40, 1));
const std::vector<uint8_t> kRf64Tail = {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF};

std::vector<uint8_t> Rf64(const char* tag, uint64_t ds64DataSize, size_t dataBytes) {
    std::vector<uint8_t> file =
        RiffFile({{"ds64", Ds64(ds64DataSize)}, {"fmt ", FormatChunkBody(Shape(1, 2, 16))}});
    file.insert(file.end(), kRf64Tail.begin(), kRf64Tail.end());
    file.resize(file.size() + dataBytes, 1);
    return Patched(file, 0, {uint8_t(tag[0]), uint8_t(tag[1]), uint8_t(tag[2]), uint8_t(tag[3])});
}

std::vector<uint8_t> Appended(std::vector<uint8_t> bytes, std::vector<uint8_t> tail) {
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavSizeTest,
    testing::Values(
        SizeCase{"streamed", WithDataSize(kTenFrames, 0xFFFFFFFF), 10, "0xFFFFFFFF (a streamed"},
        SizeCase{"streamed_partial_frame", Appended(WithDataSize(kTenFrames, 0xFFFFFFFF), {7, 7}),
                 10, "leaving out the last 2 bytes"},
        SizeCase{"claims_more", WithDataSize(kTenFrames, 41), 10, "claims 41 bytes but only 40"},
        SizeCase{"zero_with_audio", WithDataSize(kTenFrames, 0), 10, "size is 0 but audio"},
        SizeCase{"zero_then_chunks",
                 RiffFile({{"fmt ", FormatChunkBody(Shape(1, 2, 16))},
                           {"data", {}},
                           {"LIST", {'I', 'N', 'F', 'O', 1}}}),
                 0, ""},
        SizeCase{"rf64", Rf64("RF64", 24, 24), 6, ""},
        SizeCase{"bw64_chunk_after_data",
                 Appended(Rf64("BW64", 8, 8), {'J', 'U', 'N', 'K', 2, 0, 0, 0, 0, 0}), 2, ""},
        SizeCase{"rf64_cut", Rf64("RF64", 4000, 20), 5, "claims 4000 bytes but only 20"}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(WavReader, AMaskWithMoreSpeakersThanChannelsKeepsItsLowestBits) {
    WavReader reader;
    std::string error;
    ASSERT_TRUE(OpenBytes(reader, Patched(kGoodExtensible, 40, {0x3C, 0x06, 0, 0}), error))
        << error;
    EXPECT_EQ(reader.Format().channelMask, 0xCu);
    ASSERT_EQ(reader.Notes().size(), 1u);
    EXPECT_EQ(reader.Notes()[0],
              "the channel mask 0x63C names 6 speakers for 2 channels: the lowest bits, 0xC, are "
              "used");
}

// Random damage to a valid file: whatever the reader makes of it, it answers with a message or
// with exactly the frames its header announces, and never reads outside the file.
TEST(WavReader, RandomlyDamagedFilesGiveAMessageOrTheAnnouncedFrames) {
    std::mt19937 random(20240607);
    const std::vector<uint8_t> original =
        WavFile(Shape(0xFFFE, 6, 24, 1, 20), std::vector<uint8_t>(18 * 50));
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int hit = 0; hit < damage; ++hit) {
            const size_t offset = random() % (round % 3 == 0 ? bytes.size() : 64);
            bytes[offset] = static_cast<uint8_t>(random());
        }
        if (round % 5 == 0) {
            bytes.resize(random() % bytes.size());
        }
        WavReader reader;
        std::string error;
        if (!OpenBytes(reader, bytes, error)) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        const WavFormat format = reader.Format();
        ASSERT_LE(format.frameCount * format.BlockAlign(), bytes.size());
        std::vector<float> period(64 * format.channels);
        uint64_t frames = 0;
        while (size_t got = reader.ReadFrames(period.data(), 64, error)) {
            frames += got;
        }
        EXPECT_EQ(error, "");
        EXPECT_EQ(frames, format.frameCount);
    }
}

// Reading ahead on the reader's thread hands out the very samples a direct read gives, in
// pieces that straddle its blocks, and stops at the end.
TEST(WavReader, ReadingAheadGivesTheSameSamples) {
    std::vector<uint8_t> data(18 * 101);
    for (size_t index = 0; index < data.size(); ++index) {
        data[index] = static_cast<uint8_t>(index * 7 + index / 3);
    }
    const std::vector<uint8_t> file = WavFile(Shape(0xFFFE, 6, 24, 1, 24), data);
    WavReader direct;
    WavReader ahead;
    std::string error;
    ASSERT_TRUE(OpenBytes(direct, file, error)) << error;
    ASSERT_TRUE(OpenBytes(ahead, file, error)) << error;
    const std::vector<float> expected = ReadAll(direct);
    ahead.StartReadAhead(7);
    std::vector<float> samples(expected.size() + 60, 9.0f);
    size_t done = 0;
    for (size_t piece = 1;
         const size_t got = ahead.ReadFrames(samples.data() + done * 6, piece % 10 + 1, error);
         ++piece) {
        done += got;
        EXPECT_EQ(ahead.FramesLeft(), 101 - done);
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(done, 101u);
    samples.resize(expected.size());
    EXPECT_EQ(samples, expected);
}

TEST(WavReader, AMissingFileIsNamedInTheMessage) {
    WavReader reader;
    std::string error;
    EXPECT_FALSE(OpenWavFile(reader, L"no-such-folder\\missing.wav", error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
}

// A stream (standard input) is read front to back, as a pipe gives it; it must hold what its
// header says, since it has no end to find the length by.
TEST(WavReader, AStreamIsReadAsItComesAndMustHoldWhatItsHeaderSays) {
    const std::vector<uint8_t> whole = WavFile(Shape(1, 2, 16), std::vector<uint8_t>(4000, 7));
    struct StreamCase {
        std::vector<uint8_t> bytes;
        size_t frames;     // whole periods of 64 read before the end or the error
        const char* error; // "" when the stream is whole
    };
    const StreamCase cases[] = {{whole, 1000, ""},
                                {std::vector<uint8_t>(whole.begin(), whole.end() - 1000), 704,
                                 "ends after 750 of its 1000"},
                                {Patched(whole, 40, {0xFF, 0xFF, 0xFF, 0xFF}), 0, "gives no size"}};
    for (const StreamCase& item : cases) {
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
        std::thread writer([&] {
            DWORD written = 0;
            WriteFile(writeEnd, item.bytes.data(), static_cast<DWORD>(item.bytes.size()), &written,
                      nullptr);
            CloseHandle(writeEnd);
        });
        WavReader reader;
        std::string error;
        size_t frames = 0;
        if (reader.Open(std::make_unique<StreamByteSource>(readEnd), error)) {
            std::vector<float> samples(2 * 64);
            while (const size_t got = reader.ReadFrames(samples.data(), 64, error)) {
                frames += got;
            }
        }
        writer.join();
        CloseHandle(readEnd);
        EXPECT_EQ(frames, item.frames) << item.error;
        EXPECT_NE(error.find(item.error), std::string::npos) << error;
    }
}

} // namespace
