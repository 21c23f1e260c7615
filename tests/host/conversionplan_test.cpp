// The conversion a refused file gets: nearest rate, the smallest layout that keeps every speaker,
// and the sox effects that do it.
#include "conversionplan.h"

#include <gtest/gtest.h>

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

struct PlanCase {
    const char* name;
    StreamLayout from;
    const char* soxEffects;
    uint32_t toRate;
    uint32_t toMask;
};

class ConversionPlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(ConversionPlanTest, PicksTheNearestShapeAndSaysHowToGetThere) {
    const PlanCase& item = GetParam();
    const std::optional<ConversionPlan> plan = PlanConversion(item.from, Accepted());
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(SoxEffects(*plan), item.soxEffects);
    EXPECT_EQ(plan->to.sampleRate, item.toRate);
    EXPECT_EQ(plan->to.channelMask, item.toMask);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConversionPlanTest,
    testing::Values(
        PlanCase{"cd_stereo", {44100, 2, 0x3}, "rate -v 48000", 48000, 0x3},
        PlanCase{"hires_192k", {192000, 2, 0x3}, "rate -v 96000", 96000, 0x3},
        PlanCase{"tie_goes_up", {72000, 2, 0x3}, "rate -v 96000", 96000, 0x3},
        PlanCase{"mono_on_both_sides", {48000, 1, 0x4}, "remix -m 1 1", 48000, 0x3},
        PlanCase{"three_front", {48000, 3, 0x7}, "remix -m 1 2 3 0 0 0", 48000, 0x3F},
        PlanCase{"quad", {88200, 4, 0x33}, "remix -m 1 2 0 0 3 4 rate -v 96000", 96000, 0x3F},
        PlanCase{"five_side", {48000, 5, 0x607}, "remix -m 1 2 3 0 4 5", 48000, 0x60F},
        PlanCase{"six_one_back_centre",
                 {48000, 7, 0x13F},
                 "remix -m 1 2 3 4 5,7v0.707107 6,7v0.707107",
                 48000,
                 0x3F},
        PlanCase{"unplaced_channel", {48000, 3, 0x3}, "remix -m 1 2", 48000, 0x3}),
    [](const testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

TEST(ConversionPlan, DescribesEveryMoveAndWhatStaysSilent) {
    const std::optional<ConversionPlan> plan = PlanConversion({44100, 7, 0x13F}, Accepted());
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(DescribeConversion(*plan),
              (std::vector<std::string>{
                  "sample rate 44100 Hz -> 48000 Hz (sox rate -v, very high quality)",
                  "channels 7 (FL FR FC LFE BL BR BC) -> 6 (FL FR FC LFE BL BR, mask 0x3F): "
                  "FL->FL, FR->FR, FC->FC, LFE->LFE, BL->BL, BC->BL -3.0 dB, BR->BR, BC->BR "
                  "-3.0 dB"}));
    const std::optional<ConversionPlan> quad = PlanConversion({48000, 4, 0x33}, Accepted());
    ASSERT_TRUE(quad.has_value());
    EXPECT_EQ(DescribeConversion(*quad).back(),
              "channels 4 (FL FR BL BR) -> 6 (FL FR FC LFE BL BR, mask 0x3F): FL->FL, FR->FR, "
              "BL->BL, BR->BR; FC LFE silent");
}

TEST(ConversionPlan, NothingToPlanWhenTheEffectTakesNothing) {
    EXPECT_FALSE(PlanConversion({44100, 2, 0x3}, {}).has_value());
}

} // namespace
