// The C interface's answers to bad arguments, the name-to-index mapping, and an instance's life.
#include "enginetesting.h"
#include "instancepool.h"
#include "kovraengine.h"
#include "kovramessages.h"
#include "limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using kovra_test::Engine;

TEST(EngineApi, NullDestroyedAndMadeUpHandlesAreRefusedWithoutBeingRead) {
    // Under AddressSanitizer a read through a destroyed instance would stop the test.
    KovraHandle stale = nullptr;
    ASSERT_EQ(KovraResult_kOk, Kovra_create(&stale, 0));
    ASSERT_EQ(KovraResult_kOk, Kovra_destroy(stale));
    Engine successor("2_ch"); // may take the freed memory and the same slot
    ASSERT_EQ(KovraResult_kOk, successor.prepare(48000, 2, 4));
    float samples[4] = {};
    uint32_t latency = 0;
    const KovraHandle refused[] = {nullptr,
                                   stale,
                                   reinterpret_cast<KovraHandle>(0x1),
                                   reinterpret_cast<KovraHandle>(0x12345678),
                                   reinterpret_cast<KovraHandle>(~uintptr_t{0}),
                                   samples};
    for (KovraHandle handle : refused) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(handle));
        EXPECT_NE(successor.handle(), handle);
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_prepareToPlay(handle, 48000, 2, 4, 4, 4, -1));
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_reset(handle));
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_Ambrel_loadFilter(handle, 1));
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_processBlock(handle, samples, samples, 2));
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_getLatency(handle, &latency));
        EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_destroy(handle));
    }
    EXPECT_EQ(KovraResult_kOk, Kovra_processBlock(successor.handle(), samples, samples, 2));
}

// Holds one thread at the registry's seam until another has done its part.
class SeamPause {
public:
    explicit SeamPause(std::thread::id held) : held_(held) {
        current = this;
        kovra::afterHandleChecked = [] { current->pauseIfHeld(); };
    }
    ~SeamPause() {
        kovra::afterHandleChecked = nullptr;
        current = nullptr;
    }
    void waitUntilPaused() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return paused_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void pauseIfHeld() {
        if (std::this_thread::get_id() != held_) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        paused_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }

    static inline SeamPause* current = nullptr;
    std::thread::id held_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool paused_ = false;
    bool released_ = false;
};

TEST(EngineApi, CallUnderWayWhileItsHandleIsDestroyedNeverReachesTheSuccessor) {
    // A preset request is held just after its handle was checked while this thread destroys the
    // instance and opens a successor as the bypass; then the request goes on. It may finish on
    // the old instance, but the successor must stay the bypass.
    const int32_t bypass = Kovra_getConfigIndexFromName("2_ch_bypass");
    KovraHandle doomed = nullptr;
    ASSERT_EQ(KovraResult_kOk, Kovra_create(&doomed, bypass));
    std::promise<void> go;
    KovraResult lateResult = -1;
    std::thread late([&, ready = go.get_future()] {
        ready.wait();
        lateResult = Kovra_Ambrel_loadFilter(doomed, 1); // preset 1: filters
    });
    {
        SeamPause pause(late.get_id());
        go.set_value();
        pause.waitUntilPaused();
        ASSERT_EQ(KovraResult_kOk, Kovra_destroy(doomed));
        Engine successor("2_ch_bypass");
        ASSERT_EQ(KovraResult_kOk, successor.prepare(48000, 2, 64));
        ASSERT_EQ(KovraResult_kOk, successor.load(2));
        pause.release();
        late.join();
        EXPECT_TRUE(lateResult == KovraResult_kOk || lateResult == KovraResult_kInvalidHandle);
        successor.pastFadeIn();
        const std::vector<float> input = {0.5f, -0.25f, 0.125f, 1.0f};
        EXPECT_EQ(input, successor.process(input, 2));
    }
    EXPECT_EQ(KovraResult_kInvalidHandle, Kovra_Ambrel_loadFilter(doomed, 1));
}

TEST(EngineApi, CreateRefusesPastTheInstancesSetAsideAndWhileACallHoldsTheLastSlot) {
    std::vector<KovraHandle> open(kovra::kInstanceCapacity, nullptr);
    for (KovraHandle& handle : open) {
        ASSERT_EQ(KovraResult_kOk, Kovra_create(&handle, 0));
    }
    const auto untouched = reinterpret_cast<KovraHandle>(0x77);
    KovraHandle refused = untouched;
    EXPECT_EQ(KovraResult_kErrorMemory, Kovra_create(&refused, 0));
    EXPECT_EQ(untouched, refused);
    // A call on open[0] is under way while open[0] is destroyed: its slot is free but held, so
    // no new instance may take it until the call has finished.
    std::promise<void> go;
    std::thread late([&, ready = go.get_future()] {
        ready.wait();
        uint32_t latency = 0;
        Kovra_getLatency(open[0], &latency);
    });
    {
        SeamPause pause(late.get_id());
        go.set_value();
        pause.waitUntilPaused();
        ASSERT_EQ(KovraResult_kOk, Kovra_destroy(open[0]));
        EXPECT_EQ(KovraResult_kErrorMemory, Kovra_create(&refused, 0));
        pause.release();
        late.join();
    }
    EXPECT_EQ(KovraResult_kOk, Kovra_create(&open[0], 1));
    for (KovraHandle handle : open) {
        EXPECT_EQ(KovraResult_kOk, Kovra_destroy(handle));
    }
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
    ASSERT_EQ(KovraResult_kOk, engine.load(2)); // the bypass
    engine.pastFadeIn();
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
    // The limiter runs, and delays, wherever the chain can change the level; only the stereo
    // bypass with preset 2 has none. Each latency at each rate, and the delay an impulse below
    // every ceiling really takes.
    const struct {
        const char* configuration;
        int channels;
        bool limited[3]; // per preset
    } cases[] = {{"2_ch", 2, {true, true, true}},
                 {"2_ch_bypass", 2, {true, true, false}},
                 {"6_ch_bypass", 6, {true, true, true}},
                 {"8_ch", 8, {true, true, true}}};
    for (const auto& c : cases) {
        for (int32_t rate : {44100, 48000, 96000, 384000}) {
            for (int32_t preset : {0, 1, 2}) {
                SCOPED_TRACE(std::string(c.configuration) + " preset " + std::to_string(preset) +
                             " at " + std::to_string(rate));
                Engine engine(c.configuration);
                EXPECT_EQ(0u, engine.latency()); // not prepared
                ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, c.channels, 4096));
                ASSERT_EQ(KovraResult_kOk, engine.load(preset));
                const uint32_t expected =
                    c.limited[preset] ? kovra::Limiter::LookAheadFrames(rate) : 0;
                EXPECT_NEAR(c.limited[preset] ? 0.002 : 0.0, static_cast<double>(expected) / rate,
                            0.0001);
                uint32_t latency = 77;
                EXPECT_EQ(KovraResult_kOk, Kovra_getLatency(engine.handle(), &latency));
                EXPECT_EQ(expected, latency);
                std::vector<float> input(static_cast<size_t>(c.channels) * (expected + 8), 0.0f);
                input[0] = 0.1f;
                const std::vector<float> output = engine.process(input, c.channels);
                const auto first = std::find_if(output.begin(), output.end(),
                                                [](float sample) { return sample != 0.0f; });
                EXPECT_EQ(2 * static_cast<ptrdiff_t>(expected), first - output.begin());
            }
        }
    }
    Engine engine("8_ch");
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_getLatency(engine.handle(), nullptr));
}

TEST(EngineApi, ResetKeepsTheInstanceUsable) {
    Engine engine("2_ch_bypass");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 16));
    ASSERT_EQ(KovraResult_kOk, engine.load(2)); // the bypass
    EXPECT_EQ(KovraResult_kOk, Kovra_reset(engine.handle()));
    engine.pastFadeIn();
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
