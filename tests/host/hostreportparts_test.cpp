// The pieces the report is made of: the preset rules the host follows, the timing statistics,
// the progress bar and the words for a refused or changed format.
#include "formatnegotiation.h"
#include "hostmediatype.h"
#include "hresultnames.h"
#include "periodstats.h"
#include "presettracker.h"
#include "progressbar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

struct StartCase {
    std::optional<uint32_t> enable;
    std::optional<uint32_t> mode;
    uint32_t preset;
};

TEST(PresetTracker, StartsWithThePresetTheEndpointValuesSelect) {
    const StartCase cases[] = {
        {1, 0, 0}, {std::nullopt, 5, 1}, {std::nullopt, std::nullopt, 2}, {1, 1, 2},
        {0, 0, 2}, {7, std::nullopt, 0}};
    for (const StartCase& item : cases) {
        EXPECT_EQ(PresetTracker(item.enable, item.mode).Preset(), item.preset);
    }
}

struct NotifyCase {
    uint32_t enable, mode;
    EndpointProperty property;
    uint32_t value;
    bool reload;
    uint32_t preset;
};

TEST(PresetTracker, FollowsTheEffectsNotificationRules) {
    const NotifyCase cases[] = {
        {0, 0, EndpointProperty::Enable, 1, true, 0},
        {0, 1, EndpointProperty::Enable, 1, false, 1},
        {1, 0, EndpointProperty::Enable, 0, false, 0},
        {1, 0, EndpointProperty::Enable, 1, true, 0},
        {0, 0, EndpointProperty::Mode, 3, true, 1},
        {0, 1, EndpointProperty::Mode, 0, true, 2},
        {1, 0, EndpointProperty::Mode, 1, false, 0},
    };
    for (const NotifyCase& item : cases) {
        PresetTracker tracker(item.enable, item.mode);
        EXPECT_EQ(tracker.Notify(item.property, item.value), item.reload);
        EXPECT_EQ(tracker.Preset(), item.preset);
    }
}

TEST(PresetTracker, NamesTheConfiguration) {
    EXPECT_EQ(ConfigurationName(6, 0), "6_ch");
    EXPECT_EQ(ConfigurationName(2, 1), "2_ch_bypass");
    EXPECT_EQ(ConfigurationName(8, 2), "8_ch_bypass");
}

TEST(PeriodStats, MedianPercentileAndMaximum) {
    std::vector<double> times;
    for (int index = 1; index <= 200; ++index) {
        times.push_back(index);
    }
    const PeriodTiming timing = SummarizePeriodTimes(times);
    EXPECT_EQ(timing.count, 200u);
    EXPECT_DOUBLE_EQ(timing.medianSeconds, 100.5);
    EXPECT_DOUBLE_EQ(timing.percentile99Seconds, 198.0);
    EXPECT_DOUBLE_EQ(timing.maximumSeconds, 200.0);
    EXPECT_DOUBLE_EQ(timing.totalSeconds, 20100.0);
    EXPECT_EQ(SummarizePeriodTimes({}).count, 0u);
    EXPECT_DOUBLE_EQ(SummarizePeriodTimes({3.0}).percentile99Seconds, 3.0);
    EXPECT_DOUBLE_EQ(RealTimeFactor(0.5, 10.0), 0.05);
    EXPECT_DOUBLE_EQ(RealTimeFactor(0.5, 0.0), 0.0);
}

// Period times of known shapes, each made from a uniform draw u in [0, 1).
const std::pair<const char*, double (*)(double)> kTimeShapes[] = {
    {"constant", [](double) { return 5e-6; }},
    {"uniform", [](double u) { return 1e-6 + 19e-6 * u; }},
    {"ticks of 100 ns, zero included", [](double u) { return 1e-7 * std::floor(8 * u * u); }},
    {"a heavy tail", [](double u) { return 5e-6 / std::sqrt(1.0 - u); }},
    {"a slow mode in 1.5 %", [](double u) { return u < 0.985 ? 4e-6 + 4e-6 * u : 4e-3 * u; }},
    {"over eight decades", [](double u) { return std::pow(10.0, -8.5 + 8.0 * u); }},
    {"off the scale at both ends", [](double u) { return u < 0.6 ? 0.0 : 300.0; }},
};

TEST(PeriodStats, TheHistogramReadsThePercentilesWithinItsPrecision) {
    const double precision = PeriodTimeHistogram::kRelativePrecision;
    for (const auto& [name, time] : kTimeShapes) {
        for (size_t count : {0, 1, 2, 101, 20000}) {
            std::mt19937_64 generator(count);
            std::uniform_real_distribution<double> uniform(0.0, 1.0);
            std::vector<double> times;
            PeriodTimeHistogram histogram;
            while (times.size() < count) {
                times.push_back(time(uniform(generator)));
                histogram.Add(times.back());
            }
            const PeriodTiming exact = SummarizePeriodTimes(times);
            const PeriodTiming read = histogram.Summary();
            SCOPED_TRACE(testing::Message() << name << ", " << count << " times");
            EXPECT_EQ(read.count, count);
            EXPECT_NEAR(read.medianSeconds, exact.medianSeconds, precision * exact.medianSeconds);
            EXPECT_NEAR(read.percentile99Seconds, exact.percentile99Seconds,
                        precision * exact.percentile99Seconds);
            EXPECT_LE(read.percentile99Seconds, read.maximumSeconds);
            EXPECT_EQ(read.maximumSeconds, exact.maximumSeconds);
            EXPECT_NEAR(read.totalSeconds, exact.totalSeconds, 1e-12 * exact.totalSeconds);
        }
    }
}

TEST(ProgressBar, ShownOnATerminalForLongFilesOrWhenAsked) {
    EXPECT_TRUE(ShouldShowProgress(ProgressChoice::Auto, true, 30.0));
    EXPECT_FALSE(ShouldShowProgress(ProgressChoice::Auto, true, 29.9));
    EXPECT_FALSE(ShouldShowProgress(ProgressChoice::Auto, false, 600.0));
    EXPECT_TRUE(ShouldShowProgress(ProgressChoice::Always, false, 1.0));
    EXPECT_FALSE(ShouldShowProgress(ProgressChoice::Never, true, 600.0));
}

TEST(ProgressBar, RedrawsOnlyWhenThePercentageChanges) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    ProgressBar bar(stream, 48000, 48000, true);
    for (uint64_t frames = 0; frames <= 48000; frames += 48) {
        bar.Update(frames);
    }
    bar.Update(96000);
    bar.Finish();
    std::rewind(stream);
    std::string text;
    for (int character; (character = std::fgetc(stream)) != EOF;) {
        text += static_cast<char>(character);
    }
    std::fclose(stream);
    size_t redraws = 0;
    for (char character : text) {
        redraws += character == '\r' ? 1 : 0;
    }
    EXPECT_EQ(redraws, 101u);
    EXPECT_NE(text.find("100%  1.0 / 1.0 s\n"), std::string::npos) << text;
}

TEST(ProgressBar, ADisabledBarWritesNothing) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    ProgressBar bar(stream, 100, 48000, false);
    bar.Update(50);
    bar.Finish();
    EXPECT_EQ(std::ftell(stream), 0);
    std::fclose(stream);
}

TEST(FormatWords, AProposalNamesEveryChangedField) {
    const UNCOMPRESSEDAUDIOFORMAT requested = FloatStreamFormat(4, 0x33, 48000.0f);
    const UNCOMPRESSEDAUDIOFORMAT proposed = FloatStreamFormat(2, 0x3, 96000.0f);
    EXPECT_EQ(DescribeProposal(requested, proposed),
              (std::vector<std::string>{"channels 4 -> 2", "channel mask 0x33 -> 0x3",
                                        "sample rate 48000 Hz -> 96000 Hz"}));
    EXPECT_TRUE(DescribeProposal(requested, requested).empty());
}

TEST(FormatWords, ARefusalSaysWhatTheEffectAccepts) {
    const std::vector<StreamLayout> accepted = {
        {48000, 2, 0x3}, {48000, 6, 0x3F}, {96000, 2, 0x3}, {96000, 6, 0x3F}};
    EXPECT_EQ(
        ExplainRefusal(FloatStreamFormat(2, 0x3, 44100.0f), accepted, true),
        (std::vector<std::string>{"sample rate 44100 Hz: the effect accepts 48000 or 96000 Hz"}));
    EXPECT_EQ(ExplainRefusal(FloatStreamFormat(4, 0x33, 96000.0f), accepted, true),
              (std::vector<std::string>{
                  "channels 4 (mask 0x33): the effect accepts 2 (mask 0x3), 6 (mask 0x3F)"}));
    EXPECT_TRUE(ExplainRefusal(FloatStreamFormat(4, 0x33, 96000.0f), accepted, false).empty());
}

TEST(FormatWords, ResultCodesHaveTheirNames) {
    EXPECT_EQ(DescribeHResult(APOERR_FORMAT_NOT_SUPPORTED),
              "APOERR_FORMAT_NOT_SUPPORTED (0x887D0003)");
    EXPECT_EQ(DescribeHResult(S_FALSE), "S_FALSE (0x00000001)");
    EXPECT_EQ(DescribeHResult(REGDB_E_CLASSNOTREG).rfind("REGDB_E_CLASSNOTREG", 0), 0u);
    EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0xA0001234)).rfind("0xA0001234", 0), 0u);
}

} // namespace
