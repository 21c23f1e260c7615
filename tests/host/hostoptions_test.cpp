#include "hostoptions.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::wstring> arguments, HostOptions& options, std::string& error) {
    return ParseHostOptions(arguments, options, error);
}

TEST(HostOptions, DefaultsLeaveThePropertiesAbsent) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(Parse({L"in.wav", L"out.wav"}, options, error)) << error;
    EXPECT_EQ(options.inputPath, L"in.wav");
    EXPECT_EQ(options.outputPath, L"out.wav");
    EXPECT_FALSE(options.enable.has_value());
    EXPECT_FALSE(options.mode.has_value());
    EXPECT_DOUBLE_EQ(options.periodMilliseconds, 10.0);
    EXPECT_EQ(options.outputEncoding, OutputEncoding::Float32);
    EXPECT_EQ(options.progress, ProgressChoice::Auto);
}

TEST(HostOptions, ReadsEveryOptionInBothSpellings) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(
        Parse({L"--enable", L"1", L"in.wav", L"--mode=0x10", L"--period", L"2.5ms",
               L"--format=pcm24", L"--set", L"enable=0@2.5s", L"--set=mode=7@1500ms", L"--set",
               L"enable=3@96000f", L"--set", L"mode=1@4", L"--no-progress", L"out.wav"},
              options, error))
        << error;
    EXPECT_EQ(options.enable, 1u);
    EXPECT_EQ(options.mode, 16u);
    EXPECT_DOUBLE_EQ(options.periodMilliseconds, 2.5);
    EXPECT_EQ(options.outputEncoding, OutputEncoding::Pcm24);
    EXPECT_EQ(options.progress, ProgressChoice::Never);
    ASSERT_EQ(options.changes.size(), 4u);
    EXPECT_EQ(options.changes[0].property, EndpointProperty::Enable);
    EXPECT_EQ(options.changes[0].value, 0u);
    EXPECT_EQ(options.changes[0].at.ToFrames(48000), 120000u);
    EXPECT_EQ(options.changes[1].property, EndpointProperty::Mode);
    EXPECT_EQ(options.changes[1].at.ToFrames(48000), 72000u);
    EXPECT_EQ(options.changes[2].at.ToFrames(48000), 96000u);
    EXPECT_EQ(options.changes[2].at.ToFrames(96000), 96000u);
    EXPECT_EQ(options.changes[3].at.ToFrames(96000), 384000u);
}

TEST(HostOptions, AFractionalTimeLandsOnTheFrameAtOrAfterIt) {
    StreamTime time;
    time.seconds = 0.0100001;
    EXPECT_EQ(time.ToFrames(48000), 481u);
    time.seconds = 0.01;
    EXPECT_EQ(time.ToFrames(48000), 480u);
}

TEST(HostOptions, AChangeAtOrPastTheEndOfTheFileIsRefused) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(
        Parse({L"in.wav", L"out.wav", L"--set", L"enable=1@1e15s", L"--set", L"mode=1@47999f"},
              options, error))
        << error;
    EXPECT_EQ(options.changes[0].at.ToFrames(48000), UINT64_MAX);
    EXPECT_TRUE(CheckChangeTimes({options.changes[1]}, 48000, 48000, error)) << error;
    EXPECT_FALSE(CheckChangeTimes(options.changes, 48000, 48000, error));
    EXPECT_EQ(error, "--set enable=1@1e15s: the time is at or after the end of the file (1.000 s, "
                     "48000 frames), so the change could never be applied");
    EXPECT_FALSE(CheckChangeTimes({options.changes[1]}, 47999, 48000, error));
}

TEST(HostOptions, AConvertedFileBringsItsOriginalsShapeAndFrameTimesBecomeSeconds) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(Parse({L"in.wav", L"out.wav", L"--set", L"mode=1@44100f", L"--converted-from",
                       L"original.flac", L"--original", L"44100 2 0x3 88200 FLAC, Signed 16 bit",
                       L"--original-note", L"a note"},
                      options, error))
        << error;
    EXPECT_EQ(options.convertedFrom, L"original.flac");
    ASSERT_TRUE(options.original.has_value());
    EXPECT_EQ(options.original->sampleRate, 44100u);
    EXPECT_EQ(options.original->channels, 2u);
    EXPECT_EQ(options.original->channelMask, 0x3u);
    EXPECT_EQ(options.original->frames, 88200u);
    EXPECT_EQ(options.original->format, "FLAC, Signed 16 bit");
    EXPECT_EQ(options.originalNotes, std::vector<std::string>{"a note"});
    TimesInSecondsAt(options.changes, options.original->sampleRate);
    EXPECT_EQ(options.changes[0].at.ToFrames(48000), 48000u);
}

TEST(HostOptions, OnlyDoubleDashNamesAnOptionAndTwoDashesAloneEndThem) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(Parse({L"-in.wav", L"--enable", L"1", L"--", L"--out.wav"}, options, error))
        << error;
    EXPECT_EQ(options.inputPath, L"-in.wav");
    EXPECT_EQ(options.outputPath, L"--out.wav");
    EXPECT_EQ(options.enable, 1u);
}

struct BadCommandLine {
    std::vector<std::wstring> arguments;
    const char* expectedWords;
};

class HostOptionsErrorTest : public testing::TestWithParam<BadCommandLine> {};

TEST_P(HostOptionsErrorTest, IsRefusedWithAReason) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(Parse(GetParam().arguments, options, error));
    EXPECT_NE(error.find(GetParam().expectedWords), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, HostOptionsErrorTest,
    testing::Values(BadCommandLine{{}, "give an input and an output"},
                    BadCommandLine{{L"a.wav"}, "give an input and an output"},
                    BadCommandLine{{L"a.wav", L"b.wav", L"c.wav"}, "more than two"},
                    BadCommandLine{{L"a.wav", L"b.wav", L"--frobnicate"}, "unknown option"},
                    BadCommandLine{{L"a.wav", L"b.wav", L"--enable"}, "needs a value"},
                    BadCommandLine{{L"a", L"b", L"--enable", L"-1"}, "unsigned 32-bit"},
                    BadCommandLine{{L"a", L"b", L"--mode", L"4294967296"}, "unsigned 32-bit"},
                    BadCommandLine{{L"a", L"b", L"--enable", L"1x"}, "unsigned 32-bit"},
                    BadCommandLine{{L"a", L"b", L"--period", L"0"}, "above 0"},
                    BadCommandLine{{L"a", L"b", L"--period", L"5000"}, "above 0"},
                    BadCommandLine{{L"a", L"b", L"--period", L"nan"}, "above 0"},
                    BadCommandLine{{L"a", L"b", L"--format", L"pcm8"}, "float32, pcm16 or pcm24"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=1"}, "KEY=VALUE@TIME"},
                    BadCommandLine{{L"a", L"b", L"--set", L"volume=1@1s"}, "unknown property"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=x@1s"}, "unsigned 32-bit"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=1@-1s"}, "bad time"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=1@soon"}, "bad time"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=1@12.5f"}, "bad time"},
                    BadCommandLine{{L"a", L"b", L"--set", L"enable=1@1e400"}, "a finite number"},
                    BadCommandLine{{L"a", L"b", L"--set", L"mode=1@infms"}, "a finite number"},
                    BadCommandLine{{L"a", L"b", L"--original", L"44100 2"}, "RATE CHANNELS MASK"},
                    BadCommandLine{{L"a", L"b", L"--converted-from", L"c"}, "go together"}));

TEST(HostOptions, HelpNeedsNoFiles) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(Parse({L"--help"}, options, error));
    EXPECT_TRUE(options.showHelp);
}

} // namespace
