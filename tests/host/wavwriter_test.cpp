#include "wavwriter.h"

#include "tempfolder.h"
#include "wavreader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct WriterCase {
    const char* name;
    OutputEncoding encoding;
    SampleEncoding readBackEncoding;
    uint16_t bits;
    float tolerance;
};

class WavWriterTest : public testing::TestWithParam<WriterCase> {};

const std::vector<float> kSamples = {0.0f, 0.5f, -0.5f, 0.999f, -1.0f, 0.123456f, 0.25f, -0.25f};

TEST_P(WavWriterTest, WritesAFileTheReaderGivesBack) {
    const WriterCase& item = GetParam();
    TempFolder folder;
    const std::wstring path = folder.File(L"out.wav");
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Create(path, 2, 96000, item.encoding, error)) << error;
    ASSERT_TRUE(writer.Write(kSamples.data(), 3, error)) << error;
    ASSERT_TRUE(writer.Write(kSamples.data() + 6, 1, error)) << error;
    ASSERT_TRUE(writer.Finish(error)) << error;

    WavReader reader;
    ASSERT_TRUE(OpenWavFile(reader, path, error)) << error;
    EXPECT_EQ(reader.Format().encoding, item.readBackEncoding);
    EXPECT_EQ(reader.Format().containerBits, item.bits);
    EXPECT_EQ(reader.Format().channels, 2);
    EXPECT_EQ(reader.Format().sampleRate, 96000u);
    ASSERT_EQ(reader.Format().frameCount, 4u);
    std::vector<float> back(8);
    ASSERT_EQ(reader.ReadFrames(back.data(), 4, error), 4u);
    for (size_t index = 0; index < back.size(); ++index) {
        EXPECT_NEAR(back[index], kSamples[index], item.tolerance) << index;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, WavWriterTest,
    testing::Values(
        WriterCase{"float32", OutputEncoding::Float32, SampleEncoding::Float, 32, 0.0f},
        WriterCase{"pcm16", OutputEncoding::Pcm16, SampleEncoding::Pcm, 16, 1.0f / 32768},
        WriterCase{"pcm24", OutputEncoding::Pcm24, SampleEncoding::Pcm, 24, 1.0f / 8388608}),
    [](const testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

std::vector<uint8_t> FileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    for (int byte; file != nullptr && (byte = std::fgetc(file)) != EOF;) {
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return bytes;
}

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

TEST(WavWriter, PadsAnOddDataChunk) {
    TempFolder folder;
    const std::wstring path = folder.File(L"odd.wav");
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Create(path, 1, 48000, OutputEncoding::Pcm24, error)) << error;
    const float sample = 0.5f;
    ASSERT_TRUE(writer.Write(&sample, 1, error));
    ASSERT_TRUE(writer.Finish(error));
    const std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 80u + 3 + 1);
    EXPECT_EQ(Le32At(bytes, 4), bytes.size() - 8); // the RIFF size counts the pad byte
    WavReader reader;
    ASSERT_TRUE(OpenWavFile(reader, path, error)) << error;
    EXPECT_EQ(reader.Format().frameCount, 1u);
}

// Past the RIFF limit the file becomes RF64 in place: same samples, sizes in the ds64 chunk.
TEST(WavWriter, AFilePastTheRiffLimitBecomesRf64) {
    TempFolder folder;
    for (const uint64_t threshold : {uint64_t{0xFFFFFFFF}, uint64_t{100}}) {
        const std::wstring path = folder.File(L"long.wav");
        WavWriter writer;
        writer.SetRf64Threshold(threshold);
        std::string error;
        ASSERT_TRUE(writer.Create(path, 2, 48000, OutputEncoding::Float32, error)) << error;
        ASSERT_TRUE(writer.Write(kSamples.data(), 4, error));
        ASSERT_TRUE(writer.Write(kSamples.data(), 4, error));
        ASSERT_TRUE(writer.Finish(error)) << error;
        const std::vector<uint8_t> bytes = FileBytes(path);
        ASSERT_EQ(bytes.size(), 94u + 64);
        const bool isRf64 = threshold == 100;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), isRf64 ? "RF64" : "RIFF");
        EXPECT_EQ(Le32At(bytes, 4), isRf64 ? 0xFFFFFFFFu : bytes.size() - 8);
        EXPECT_EQ(Le32At(bytes, 64), 48000u * 8); // the byte rate: rate times the block size
        EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), isRf64 ? "ds64" : "JUNK");
        EXPECT_EQ(bytes[4] & bytes[5] & bytes[6] & bytes[7], isRf64 ? 0xFF : 0);
        EXPECT_EQ(bytes[28], isRf64 ? 64 : 0); // the data size in ds64
        WavReader reader;
        ASSERT_TRUE(OpenWavFile(reader, path, error)) << error;
        EXPECT_TRUE(reader.Notes().empty());
        std::vector<float> back(16);
        ASSERT_EQ(reader.ReadFrames(back.data(), 9, error), 8u);
        EXPECT_EQ(std::vector<float>(back.begin(), back.begin() + 8), kSamples);
    }
}

// A file of five bytes standing where the writer is about to write.
bool WriteOlderFile(const std::wstring& path) {
    FILE* older = _wfopen(path.c_str(), L"wb");
    if (!older) {
        return false;
    }
    std::fputs("older", older);
    std::fclose(older);
    return true;
}

// The samples go to a file of the writer's own, never one that was there (not even one named
// like "OUT.partial"), and an unfinished one goes away with the writer.
TEST(WavWriter, AnUnfinishedFileIsRemovedAndEveryOtherFileKept) {
    TempFolder folder;
    const std::wstring path = folder.File(L"unfinished.wav");
    ASSERT_TRUE(WriteOlderFile(path));
    ASSERT_TRUE(WriteOlderFile(path + L".partial"));
    std::wstring writingPath;
    {
        WavWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Create(path, 2, 48000, OutputEncoding::Float32, error));
        const float samples[2] = {0.5f, 0.5f};
        ASSERT_TRUE(writer.Write(samples, 1, error));
        writingPath = writer.WritingPath();
        EXPECT_TRUE(FileExists(writingPath));
    }
    EXPECT_FALSE(FileExists(writingPath));
    for (const std::wstring& kept : {path, path + L".partial"}) {
        EXPECT_EQ(FileBytes(kept), (std::vector<uint8_t>{'o', 'l', 'd', 'e', 'r'}));
    }
}

TEST(WavWriter, AStagedFileStaysWhereItWasAsked) {
    TempFolder folder;
    const std::wstring staged = folder.File(L"staged.wav");
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.CreateStaged(staged, 2, 48000, OutputEncoding::Pcm16, error)) << error;
    ASSERT_TRUE(writer.Finish(error)) << error;
    EXPECT_EQ(FileBytes(staged).size(), 80u);
    WavWriter second;
    EXPECT_FALSE(second.CreateStaged(staged, 2, 48000, OutputEncoding::Pcm16, error));
    EXPECT_EQ(FileBytes(staged).size(), 80u);
}

TEST(WavWriter, AFinishedFileReplacesAnOlderOne) {
    TempFolder folder;
    const std::wstring path = folder.File(L"replaced.wav");
    ASSERT_TRUE(WriteOlderFile(path));
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Create(path, 2, 48000, OutputEncoding::Pcm16, error));
    ASSERT_TRUE(writer.Finish(error)) << error;
    EXPECT_FALSE(FileExists(writer.WritingPath()));
    WavReader reader;
    ASSERT_TRUE(OpenWavFile(reader, path, error)) << error;
    EXPECT_EQ(reader.Format().frameCount, 0u);
}

TEST(WavWriter, AnUncreatableFileIsNamedInTheMessage) {
    WavWriter writer;
    std::string error;
    EXPECT_FALSE(
        writer.Create(L"no-such-folder\\x\\out.wav", 2, 48000, OutputEncoding::Float32, error));
    EXPECT_NE(error.find("out.wav"), std::string::npos) << error;
}

} // namespace
