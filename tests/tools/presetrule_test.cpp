// The effect's preset rule as kovractl states it, and the order of the writes that lets a
// playing stream follow a set.
#include "presetrule.h"

#include <gtest/gtest.h>

namespace {

TEST(PresetRule, EveryPairIsDescribedInTheReadmesWords) {
    const struct {
        UINT32 enable;
        UINT32 mode;
        std::optional<UINT32> preset;
        std::wstring words;
    } cases[] = {
        {1, 0, 0u, L"preset 0, engine configuration \"N_ch\": the filters on"},
        {7, 0, 0u, L"preset 0, engine configuration \"N_ch\": the filters on"},
        {0, 1, 1u, L"preset 1, engine configuration \"N_ch_bypass\""},
        {0, 0, 2u, L"preset 2, engine configuration \"N_ch_bypass\""},
        {1, 3, std::nullopt, L"the preset it had (2 for a new effect)"},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(PresetForPair(entry.enable, entry.mode), entry.preset);
        EXPECT_EQ(DescribePair(entry.enable, entry.mode), entry.words);
    }
}

// From every old pair to every new pair, writing both properties: the effect, notified of each
// write in turn, must end on the preset a new stream would start with.
TEST(PresetRule, WritingBothPropertiesLeadsAPlayingStreamToTheNewPreset) {
    for (UINT32 oldEnable : {0u, 1u}) {
        for (UINT32 oldMode : {0u, 1u}) {
            for (UINT32 enable : {0u, 1u}) {
                for (UINT32 mode : {0u, 1u}) {
                    const std::optional<UINT32> wanted = PresetForPair(enable, mode);
                    if (!wanted) {
                        continue;
                    }
                    const auto writes = PlanWrites(enable, mode);
                    ASSERT_EQ(writes.size(), 2u);
                    EXPECT_EQ(PresetSelectedWhilePlaying(oldEnable, oldMode, writes), wanted)
                        << oldEnable << oldMode << " -> " << enable << mode;
                }
            }
        }
    }
}

TEST(PresetRule, ASingleWriteActsOnlyWhereTheEffectDoes) {
    const struct {
        UINT32 enable;
        UINT32 mode;
        std::optional<UINT32> newEnable;
        std::optional<UINT32> newMode;
        std::optional<UINT32> selected;
    } cases[] = {
        {0, 0, 1u, {}, 0u}, // enable on while mode is 0
        {0, 1, 1u, {}, {}}, // enable on while mode is set: not until the next start
        {1, 0, 0u, {}, {}}, // enable off: the effect does not act on it
        {0, 0, {}, 1u, 1u}, // mode while enable is 0
        {0, 1, {}, 0u, 2u}, // mode back to 0
        {1, 0, {}, 1u, {}}, // mode while enable is on
    };
    for (const auto& entry : cases) {
        const auto writes = PlanWrites(entry.newEnable, entry.newMode);
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(PresetSelectedWhilePlaying(entry.enable, entry.mode, writes), entry.selected)
            << entry.enable << entry.mode;
    }
}

} // namespace
