// The C interface's answers to bad arguments, and an instance's basic life.
#include "kovraengine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(EngineApi, NullHandleIsRefusedByEveryCall) {
    float samples[4] = {};
    uint32_t latency = 0;
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_prepareToPlay(nullptr, 48000, 2, 480, 4, 4, -1));
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_reset(nullptr));
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_Ambrel_loadFilter(nullptr, 0));
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_processBlock(nullptr, samples, samples, 2));
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_getLatency(nullptr, &latency));
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_destroy(nullptr));
}

} // namespace
