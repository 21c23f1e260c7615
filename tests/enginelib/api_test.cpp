// The C interface's answers to bad arguments, the name-to-index mapping, and an instance's life.
#include "enginetesting.h"
#include "kovraengine.h"
#include "kovramessages.h"
#include "limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kovra_test::Engine;

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

TEST(EngineApi, ConfigurationNamesMapToDistinctIndicesThatCreateAccepts) {
    const char* names[] = {"2_ch", "2_ch_bypass", "6_ch", "6_ch_bypass", "8_ch", "8_ch_bypass"};
    std::vector<int32_t> seen;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const int32_t index = Kovra_getConfigIndexFromName(name);
        EXPECT_NE(KOVRA_CONFIG_INDEX_UNKNOWN, index);
        for (int32_t other : seen) {
            EXPECT_NE(other, index);
        }
        seen.push_back(index);
        KovraHandle handle = nullptr;
        ASSERT_EQ(KovraResult_kOk, Kovra_create(&handle, index));
        EXPECT_NE(nullptr, handle);
        EXPECT_EQ(KovraResult_kOk, Kovra_destroy(handle));
    }
}

TEST(EngineApi, UnknownNamesGiveAnIndexThatCreateRefuses) {
    const char* names[] = {"", "2ch", "2_CH", "2_ch ", "4_ch", "8_ch_bypass_", "bypass"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(KOVRA_CONFIG_INDEX_UNKNOWN, Kovra_getConfigIndexFromName(name));
    }
    EXPECT_EQ(KOVRA_CONFIG_INDEX_UNKNOWN, Kovra_getConfigIndexFromName(nullptr));

    KovraHandle handle = nullptr;
    EXPECT_EQ(KovraResult_kErrorIndexOutOfRange, Kovra_create(&handle, KOVRA_CONFIG_INDEX_UNKNOWN));
    EXPECT_EQ(KovraResult_kErrorIndexOutOfRange, Kovra_create(&handle, 6));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_create(nullptr, 0));
}

TEST(EngineApi, RefusedCreateLeavesTheHeldHandleAlone) {
    // The effect creates over its handle field; a refusal must not lose a live instance.
    KovraHandle handle = nullptr;
    ASSERT_EQ(KovraResult_kOk, Kovra_create(&handle, 0));
    KovraHandle held = handle;
    EXPECT_NE(KovraResult_kOk, Kovra_create(&handle, -1));
    EXPECT_EQ(held, handle);
    EXPECT_EQ(KovraResult_kOk, Kovra_destroy(handle));
}

struct PrepareCase {
    const char* what;
    int32_t rate, channels, maxFrames, inBytes, outBytes, layout;
    KovraResult expected;
};

TEST(EngineApi, PrepareAnswersEachBadShapeWithItsCode) {
    const PrepareCase cases[] = {
        {"valid 48000", 48000, 2, 480, 4, 4, -1, KovraResult_kOk},
        {"valid 96000", 96000, 2, 960, 4, 4, -1, KovraResult_kOk},
        {"rate 0", 0, 2, 480, 4, 4, -1, KovraResult_kSamplerateNotSupported},
        {"rate negative", -48000, 2, 480, 4, 4, -1, KovraResult_kSamplerateNotSupported},
        {"rate absurd", 10000000, 2, 480, 4, 4, -1, KovraResult_kSamplerateNotSupported},
        {"6 channels for 2_ch", 48000, 6, 480, 4, 4, -1,
         KovraResult_kChannelConfigurationNotSupported},
        {"0 channels", 48000, 0, 480, 4, 4, -1, KovraResult_kChannelConfigurationNotSupported},
        {"stereo layout 2", 48000, 2, 480, 4, 4, 2, KovraResult_kChannelConfigurationNotSupported},
        {"16-bit input", 48000, 2, 480, 2, 4, -1, KovraResult_kNotImplemented},
        {"16-bit output", 48000, 2, 480, 4, 2, -1, KovraResult_kNotImplemented},
        {"0 frames", 48000, 2, 0, 4, 4, -1, KovraResult_kErrorParameter},
        {"negative frames", 48000, 2, -1, 4, 4, -1, KovraResult_kErrorParameter},
        {"huge frames", 48000, 2, 1 << 30, 4, 4, -1, KovraResult_kErrorParameter},
    };
    for (const PrepareCase& c : cases) {
        SCOPED_TRACE(c.what);
        Engine engine("2_ch");
        EXPECT_EQ(c.expected, Kovra_prepareToPlay(engine.handle(), c.rate, c.channels, c.maxFrames,
                                                  c.inBytes, c.outBytes, c.layout));
    }
}

TEST(EngineApi, RefusedPrepareKeepsTheEarlierPreparation) {
    Engine engine("2_ch_bypass");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 4));
    EXPECT_EQ(KovraResult_kSamplerateNotSupported, engine.prepare(1, 2, 4));
    const std::vector<float> input = {0.5f, -0.25f, 0.125f, 1.0f};
    EXPECT_EQ(input, engine.process(input, 2));
}

TEST(EngineApi, ProcessRefusesNullBuffersAndAnswersUnpreparedWithSilence) {
    Engine engine("2_ch");
    float input[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float output[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    EXPECT_EQ(KovraResult_kErrorNotAvailable,
              Kovra_processBlock(engine.handle(), input, output, 2));
    for (float sample : output) {
        EXPECT_EQ(0.0f, sample);
    }
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 2));
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_processBlock(engine.handle(), nullptr, output, 2));
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_processBlock(engine.handle(), input, nullptr, 2));
    EXPECT_EQ(KovraResult_kOk, Kovra_processBlock(engine.handle(), input, output, 0));
}

TEST(EngineApi, LoadFilterAcceptsThePresetsOnly) {
    Engine engine("2_ch");
    for (int32_t preset : {0, 1, 2}) {
        EXPECT_EQ(KovraResult_kOk, engine.load(preset));
    }
    for (int32_t preset : {-1, 3, 1000}) {
        EXPECT_EQ(KovraResult_kErrorIndexOutOfRange, engine.load(preset));
    }
}

TEST(EngineApi, LatencyIsTheLimitersLookAheadWhereItRunsAndNeedsAnOutValue) {
    // Each configuration's latency at each rate, whichever preset is loaded, and the delay an
    // impulse below every ceiling really takes.
    for (const auto& [configuration, channels] : std::vector<std::pair<const char*, int>>{
             {"2_ch", 2}, {"2_ch_bypass", 2}, {"6_ch_bypass", 6}, {"8_ch", 8}}) {
        for (int32_t rate : {44100, 48000, 96000, 384000}) {
            SCOPED_TRACE(std::string(configuration) + " at " + std::to_string(rate));
            Engine engine(configuration);
            EXPECT_EQ(0u, engine.latency()); // not prepared
            ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, channels, 4096));
            const bool limited = std::string(configuration) != "2_ch_bypass";
            const uint32_t expected = limited ? kovra::Limiter::LookAheadFrames(rate) : 0;
            EXPECT_NEAR(limited ? 0.002 : 0.0, static_cast<double>(expected) / rate, 0.0001);
            for (int32_t preset : {0, 1, 2}) {
                ASSERT_EQ(KovraResult_kOk, engine.load(preset));
                uint32_t latency = 77;
                EXPECT_EQ(KovraResult_kOk, Kovra_getLatency(engine.handle(), &latency));
                EXPECT_EQ(expected, latency);
            }
            std::vector<float> input(static_cast<size_t>(channels) * (expected + 8), 0.0f);
            input[0] = 0.1f;
            const std::vector<float> output = engine.process(input, channels);
            const auto first = std::find_if(output.begin(), output.end(),
                                            [](float sample) { return sample != 0.0f; });
            EXPECT_EQ(2 * static_cast<ptrdiff_t>(expected), first - output.begin());
        }
    }
    Engine engine("8_ch");
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_getLatency(engine.handle(), nullptr));
}

TEST(EngineApi, ResetKeepsTheInstanceUsable) {
    Engine engine("2_ch_bypass");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 16));
    EXPECT_EQ(KovraResult_kOk, Kovra_reset(engine.handle()));
    const std::vector<float> input = {0.25f, -0.5f};
    EXPECT_EQ(input, engine.process(input, 2));
}

TEST(EngineApi, InitializeMessageIsCopiedWithinTheGivenCapacity) {
    kovra_test::BuiltInSettingsAfterwards restore;
    ASSERT_EQ(KovraResult_kErrorNotAvailable, Kovra_initialize("no/such/folder/kovra.config"));
    char text[256];
    ASSERT_EQ(KovraResult_kOk, Kovra_getInitializeMessage(text, sizeof text));
    EXPECT_NE(nullptr, std::strstr(text, "no/such/folder/kovra.config"));

    char small[8];
    EXPECT_EQ(KovraResult_kBufferTooSmall, Kovra_getInitializeMessage(small, sizeof small));
    EXPECT_EQ(7u, std::strlen(small));
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_getInitializeMessage(nullptr, 8));
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_getInitializeMessage(small, 0));
}

} // namespace
