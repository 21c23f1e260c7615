// The conversion a refused file gets: nearest rate, the smallest layout that keeps every speaker,
// and how kovraconvert is told what the effect takes.
#include "conversionplan.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// What the effect takes today; the host learns it by asking the effect.
std::vector<StreamLayout> Accepted() {
    std::vector<StreamLayout> accepted;
    for (const uint32_t rate : {48000u, 96000u}) {
        for (const auto& [channels, mask] : std::vector<std::pair<uint16_t, uint32_t>>{
                 {2, 0x3}, {6, 0x3F}, {6, 0x60F}, {8, 0xFF}, {8, 0x63F}}) {
            accepted.push_back({rate, channels, mask});
        }
    }
    return accepted;
}

// The mix in short: per converted channel the file's channels (from 1) with their gains, as
// "1,7v0.707107"; 0 for a silent channel.
std::string MixText(const ConversionPlan& plan) {
    std::string text;
    for (const auto& sources : plan.mix) {
        std::string inputs;
        for (const auto& [channel, gain] : sources) {
            char input[32];
            std::snprintf(input, sizeof input, gain == 1.0 ? "%u" : "%uv%.6f", channel + 1u, gain);
            inputs += (inputs.empty() ? "" : ",") + std::string(input);
        }
        text += (text.empty() ? "" : " ") + (inputs.empty() ? std::string("0") : inputs);
    }
    return text;
}

struct PlanCase {
    const char* name;
    StreamLayout from;
    const char* mix;
    uint32_t toRate;
    uint32_t toMask;
};

class ConversionPlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(ConversionPlanTest, PicksTheNearestShapeAndPutsEverySpeakerInItsPlace) {
    const PlanCase& item = GetParam();
    const std::optional<ConversionPlan> plan = PlanConversion(item.from, Accepted());
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(MixText(*plan), item.mix);
    EXPECT_EQ(plan->to.sampleRate, item.toRate);
    EXPECT_EQ(plan->to.channelMask, item.toMask);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConversionPlanTest,
    testing::Values(PlanCase{"cd_stereo", {44100, 2, 0x3}, "1 2", 48000, 0x3},
                    PlanCase{"hires_192k", {192000, 2, 0x3}, "1 2", 96000, 0x3},
                    PlanCase{"tie_goes_up", {72000, 2, 0x3}, "1 2", 96000, 0x3},
                    PlanCase{"mono_on_both_sides", {48000, 1, 0x4}, "1 1", 48000, 0x3},
                    PlanCase{"three_front", {48000, 3, 0x7}, "1 2 3 0 0 0", 48000, 0x3F},
                    PlanCase{"quad", {88200, 4, 0x33}, "1 2 0 0 3 4", 96000, 0x3F},
                    PlanCase{"five_side", {48000, 5, 0x607}, "1 2 3 0 4 5", 48000, 0x60F},
                    PlanCase{"back_and_side_pairs_keep_their_slots",
                             {48000, 6, 0x633},
                             "1 2 0 0 3 4 5 6",
                             48000,
                             0x63F},
                    PlanCase{"six_one_back_centre",
                             {48000, 7, 0x13F},
                             "1 2 3 4 5,7v0.707107 6,7v0.707107",
                             48000,
                             0x3F},
                    // The engine folds the FLC/FRC slots of 0xFF as surrounds: an inner front pair
                    // plays on the front pair.
                    PlanCase{"inner_front_pair", {48000, 2, 0xC0}, "1 2", 48000, 0x3},
                    PlanCase{"heights_fold_down",
                             {48000, 12, 0x2D63F},
                             "1,9v0.707107 2,10v0.707107 3 4 5,11v0.707107 6,12v0.707107 7 8",
                             48000,
                             0x63F},
                    PlanCase{"unplaced_channel", {48000, 3, 0x3}, "1 2", 48000, 0x3}),
    [](const testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

std::vector<std::string> Description(const StreamLayout& from) {
    const std::optional<ConversionPlan> plan = PlanConversion(from, Accepted());
    return plan ? DescribeConversion(*plan) : std::vector<std::string>{"no plan"};
}

TEST(ConversionPlan, DescribesEveryMoveWhatStaysSilentAndWhatIsDropped) {
    EXPECT_EQ(Description({44100, 7, 0x13F}),
              (std::vector<std::string>{
                  "sample rate 44100 Hz -> 48000 Hz (libsoxr, very high quality)",
                  "channels 7 (FL FR FC LFE BL BR BC) -> 6 (FL FR FC LFE BL BR, mask 0x3F): "
                  "FL->FL, FR->FR, FC->FC, LFE->LFE, BL->BL, BC->BL -3.0 dB, BR->BR, BC->BR "
                  "-3.0 dB"}));
    EXPECT_EQ(Description({48000, 4, 0x33}).back(),
              "channels 4 (FL FR BL BR) -> 6 (FL FR FC LFE BL BR, mask 0x3F): FL->FL, FR->FR, "
              "BL->BL, BR->BR; FC LFE silent");
    EXPECT_EQ(Description({48000, 3, 0x3}).back(),
              "channels 3 (FL FR) -> 2 (FL FR, mask 0x3): FL->FL, FR->FR; channel 3 dropped");
}

TEST(ConversionPlan, NothingToPlanWhenTheEffectTakesNothingOrNoSpeakerIsNamed) {
    EXPECT_FALSE(PlanConversion({44100, 2, 0x3}, {}).has_value());
    EXPECT_FALSE(PlanConversion({48000, 12, 0}, Accepted()).has_value());
    EXPECT_NE(NoPlanReason({48000, 12, 0}, Accepted()).find("12 channels without a channel mask"),
              std::string::npos);
}

TEST(ConversionPlan, TheConvertedLengthIsTheDurationToTheNearestFrame) {
    EXPECT_EQ(ConvertedFrames(132300, 44100, 48000), 144000u);
    EXPECT_EQ(ConvertedFrames(7, 44100, 48000), 8u);         // 7.62
    EXPECT_EQ(ConvertedFrames(12345, 192000, 96000), 6173u); // 6172.5 goes up
    EXPECT_EQ(ConvertedFrames(1, 384000, 8000), 0u);
    EXPECT_EQ(ConvertedFrames(uint64_t{1} << 40, 48000, 48000), uint64_t{1} << 40);
    EXPECT_EQ(ConvertedFrames(uint64_t{1} << 40, 44100, 96000), 2393494699921ull);
}

TEST(ConversionPlan, TheAcceptedFormatsTravelAsOneLine) {
    const std::vector<StreamLayout> accepted = {{48000, 2, 0x3}, {96000, 8, 0x63F}};
    EXPECT_EQ(LayoutsText(accepted), "48000:2:0x3 96000:8:0x63F");
    std::vector<StreamLayout> parsed;
    ASSERT_TRUE(ParseLayouts(LayoutsText(accepted), parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1].sampleRate, 96000u);
    EXPECT_EQ(parsed[1].channels, 8u);
    EXPECT_EQ(parsed[1].channelMask, 0x63Fu);
    for (const char* bad : {"48000:2", "48000:0:0x3", "x:2:0x3", "48000:2:0x3;"}) {
        EXPECT_FALSE(ParseLayouts(bad, parsed)) << bad;
    }
}

} // namespace
