// The effect object's engine instance: which configuration and preset a lock opens, latency,
// unlock, and the instance's end when the object goes.
#include "effecttestsupport.h"
#include "realtimeprobe.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace effecttest;
using recordingengine::Call;
using recordingengine::CallsOf;

namespace {

class EngineLifecycleTest : public EffectTest {};

TEST_F(EngineLifecycleTest, EndpointValuesChooseThePreset) {
    struct Case {
        UINT32 enable, mode, initialMode, expected;
    };
    const Case cases[] = {
        {1, 0, 2, 0}, {7, 0, 1, 0}, {0, 1, 0, 1}, {0, 9, 2, 1},
        {0, 0, 0, 2}, {0, 0, 1, 2}, {1, 1, 0, 0}, {3, 5, 1, 1},
    };
    for (const Case& c : cases) {
        EffectHolder effect(&registration);
        effect->SetFilterMode(c.initialMode);
        effect->SetEndpointValues(c.enable, c.mode);
        effect->UpdateFilterMode();
        EXPECT_EQ(effect->FilterMode(), c.expected) << c.enable << "/" << c.mode;
        EXPECT_EQ(effect->ReloadPending(), 0u);
    }
}

TEST_F(EngineLifecycleTest, LockOpensTheConfigurationOfChannelsAndPreset) {
    struct Case {
        UINT32 channels, enable, mode;
        const char* configuration;
        int preset;
    };
    const Case cases[] = {
        {2, 0, 0, "2_ch_bypass", 2}, {6, 0, 0, "6_ch_bypass", 2}, {6, 1, 0, "6_ch", 0},
        {8, 0, 1, "8_ch_bypass", 1}, {2, 1, 0, "2_ch", 0},        {8, 4, 4, "8_ch_bypass", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configuration);
        recordingengine::Clear();
        EffectHolder effect(&registration);
        effect->SetEndpointValues(c.enable, c.mode);
        Stream stream(c.channels, 96000, 960);
        ASSERT_EQ(stream.Lock(effect.effect), S_OK);

        const auto names = CallsOf(Call::GetConfigIndexFromName);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_STREQ(names[0].name, c.configuration);
        const auto prepares = CallsOf(Call::PrepareToPlay);
        ASSERT_EQ(prepares.size(), 1u);
        const int64_t expectedArguments[] = {96000, c.channels, 960, 4, 4, -1};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(prepares[0].arguments[i], expectedArguments[i]) << "argument " << i;
        }
        const auto loads = CallsOf(Call::LoadFilter);
        ASSERT_EQ(loads.size(), 1u);
        EXPECT_EQ(loads[0].arguments[0], c.preset);
        EXPECT_EQ(loads[0].handle, effect->EngineHandle());
        EXPECT_EQ(effect->InputChannels(), c.channels);
        EXPECT_EQ(effect->OutputChannels(), 2u);
        EXPECT_EQ(effect->SampleRate(), 96000);
    }
}

TEST_F(EngineLifecycleTest, LatencyIsConvertedToHundredNanoseconds) {
    struct Case {
        uint32_t frames;
        float rate;
        HNSTIME expected;
    };
    // 10072 frames at 48000 Hz: 2098333 in double precision, 2098334 in single.
    const Case cases[] = {{1024, 48000, 213333},
                          {256, 96000, 26667},
                          {0, 48000, 0},
                          {48000, 48000, 10000000},
                          {10072, 48000, 2098334}};
    for (const Case& c : cases) {
        recordingengine::Clear();
        recordingengine::SetLatencyFrames(c.frames);
        EffectHolder effect(&registration);
        Stream stream(2, c.rate, 480);
        ASSERT_EQ(stream.Lock(effect.effect), S_OK);
        HNSTIME latency = -1;
        EXPECT_EQ(effect->GetLatency(&latency), S_OK);
        EXPECT_EQ(latency, c.expected) << c.frames << " frames at " << c.rate;
    }
}

// The latency is the held instance's, taken when it was opened: after a reload GetLatency
// reports the new instance's, and it never calls the engine itself.
TEST_F(EngineLifecycleTest, LatencyFollowsTheInstanceInUse) {
    recordingengine::SetLatencyFrames("2_ch", 480);
    recordingengine::SetLatencyFrames("2_ch_bypass", 96);
    EffectHolder effect(&registration);
    effect->SetEndpointValues(1, 0);
    Stream stream(2, 48000, 480);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    HNSTIME latency = -1;
    EXPECT_EQ(effect->GetLatency(&latency), S_OK);
    EXPECT_EQ(latency, 100000);

    effect->SetFilterMode(2);
    effect->RequestReload();
    Block(stream, 480, BUFFER_VALID).Run(effect.effect);
    const size_t latencyCalls = CallsOf(Call::GetLatency).size();
    EXPECT_EQ(effect->GetLatency(&latency), S_OK);
    EXPECT_EQ(latency, 20000);
    EXPECT_EQ(CallsOf(Call::GetLatency).size(), latencyCalls);
}

TEST_F(EngineLifecycleTest, LatencyNeedsAPointerAndALock) {
    EffectHolder effect(&registration);
    EXPECT_EQ(effect->GetLatency(nullptr), E_POINTER);
    HNSTIME untouched = 1234;
    EXPECT_EQ(effect->GetLatency(&untouched), APOERR_ALREADY_UNLOCKED);
    EXPECT_EQ(untouched, 1234);
    EXPECT_TRUE(CallsOf(Call::GetLatency).empty());
}

TEST_F(EngineLifecycleTest, ResetKeepsTheInstanceAndItsFilter) {
    EffectHolder effect(&registration);
    Stream stream(2, 48000, 480);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    const size_t callsBefore = recordingengine::Calls().size();
    const KovraHandle handle = effect->EngineHandle();
    EXPECT_EQ(effect->Reset(), S_OK);
    EXPECT_EQ(recordingengine::Calls().size(), callsBefore);
    EXPECT_EQ(effect->EngineHandle(), handle);
}

TEST_F(EngineLifecycleTest, UnlockDestroysTheInstance) {
    EffectHolder effect(&registration);
    Stream stream(6, 48000, 480);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    const KovraHandle handle = effect->EngineHandle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(effect->UnlockForProcess(), S_OK);
    const auto destroys = CallsOf(Call::Destroy);
    ASSERT_EQ(destroys.size(), 1u);
    EXPECT_EQ(destroys[0].handle, handle);
    EXPECT_EQ(effect->EngineHandle(), nullptr);
    EXPECT_EQ(recordingengine::LiveInstances(), 0u);
}

TEST_F(EngineLifecycleTest, UnlockWithoutLockMakesNoEngineCall) {
    EffectHolder effect(&registration);
    EXPECT_EQ(effect->UnlockForProcess(), APOERR_ALREADY_UNLOCKED);
    EXPECT_TRUE(recordingengine::Calls().empty());
}

// A refused second lock changes nothing of the stream that runs: a reload block still prepares
// its instance for the maximum the stream was locked with, and full blocks still go through.
TEST_F(EngineLifecycleTest, RefusedSecondLockKeepsTheRunningStream) {
    for (const UINT32 secondMaximum : {0u, 960u}) {
        SCOPED_TRACE(secondMaximum);
        recordingengine::Clear();
        EffectHolder effect(&registration);
        Stream first(2, 48000, 480);
        Stream second(2, 48000, secondMaximum);
        ASSERT_EQ(first.Lock(effect.effect), S_OK);
        const KovraHandle handle = effect->EngineHandle();
        const size_t callsBefore = recordingengine::CallCount();
        EXPECT_EQ(second.Lock(effect.effect), APOERR_APO_LOCKED);
        EXPECT_EQ(recordingengine::CallCount(), callsBefore);
        EXPECT_EQ(effect->EngineHandle(), handle);

        effect->RequestReload();
        Block(first, 480, BUFFER_VALID).Run(effect.effect);
        Block(first, 480, BUFFER_VALID).Run(effect.effect);
        const auto prepares = CallsOf(Call::PrepareToPlay);
        ASSERT_EQ(prepares.size(), 2u);
        EXPECT_EQ(prepares[1].arguments[2], 480);
        const auto blocks = CallsOf(Call::ProcessBlock);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0].arguments[0], 480);
    }
}

TEST_F(EngineLifecycleTest, MissingFirstConnectionIsAPointerError) {
    EffectHolder effect(&registration);
    Stream stream(2, 48000, 480);
    APO_CONNECTION_DESCRIPTOR* none = nullptr;
    EXPECT_EQ(effect->LockForProcess(0, nullptr, 1, &stream.output.pointer), E_POINTER);
    EXPECT_EQ(effect->LockForProcess(1, &none, 1, &stream.output.pointer), E_POINTER);
    EXPECT_EQ(effect->LockForProcess(1, &stream.input.pointer, 0, nullptr), E_POINTER);
    stream.output.descriptor.pFormat = nullptr;
    EXPECT_EQ(effect->LockForProcess(1, &stream.input.pointer, 1, &stream.output.pointer),
              E_POINTER);
    EXPECT_FALSE(effect->Locked());
    EXPECT_TRUE(recordingengine::Calls().empty());
}

TEST_F(EngineLifecycleTest, FailedFormatReadLeavesStreamFieldsAlone) {
    EffectHolder effect(&registration);
    Stream stream(6, 48000, 480);
    stream.output.mediaType.failure = E_OUTOFMEMORY;
    EXPECT_EQ(stream.Lock(effect.effect), E_OUTOFMEMORY);
    EXPECT_EQ(effect->MaxFrameCount(), 0u);
    EXPECT_EQ(effect->InputChannels(), 0u);
    EXPECT_FALSE(effect->Locked());
    stream.output.mediaType.failure = S_OK;
    stream.input.mediaType.failure = E_FAIL;
    EXPECT_EQ(stream.Lock(effect.effect), E_FAIL);
    EXPECT_TRUE(recordingengine::Calls().empty());
}

// The instance goes while the object still counts as live: once the count is down the module
// may be unloaded under any code of the object that still runs.
TEST_F(EngineLifecycleTest, ReleasingALockedObjectDestroysItsInstanceWhileStillCounted) {
    const LONG objectsBefore = objectCount.load();
    LONG countedAtDestroy = -1;
    {
        EffectHolder effect(&registration);
        Stream stream(2, 48000, 480);
        ASSERT_EQ(stream.Lock(effect.effect), S_OK);
        ASSERT_EQ(recordingengine::LiveInstances(), 1u);
        recordingengine::OnCall(Call::Destroy, [&] { countedAtDestroy = objectCount.load(); });
    }
    EXPECT_EQ(recordingengine::LiveInstances(), 0u);
    EXPECT_EQ(countedAtDestroy, objectsBefore + 1);
    EXPECT_EQ(objectCount.load(), objectsBefore);
}

TEST_F(EngineLifecycleTest, UnknownChannelCountMakesNoCallWithANullHandle) {
    EffectHolder effect(&registration);
    effect->SetStream(4, 48000, 480);
    effect->OpenEngineInstance(effect->FilterMode());
    EXPECT_TRUE(recordingengine::Calls().empty());
    EXPECT_EQ(effect->EngineHandle(), nullptr);
}

// The object counts as live until its memory is freed: once the count is down the module may
// be unloaded, so none of the object's own code (member and base destructors, the freeing) may
// run after the decrement.
TEST_F(EngineLifecycleTest, ObjectCountsAsLiveUntilItsMemoryIsFreed) {
    const LONG before = objectCount.load();
    static std::atomic<LONG> countedAtFree;
    countedAtFree = -1;
    {
        EffectHolder effect(&registration);
        EXPECT_EQ(objectCount.load(), before + 1);
        realtimeprobe::WatchFree(effect.effect, [] { countedAtFree = objectCount.load(); });
    }
    EXPECT_EQ(countedAtFree.load(), before + 1);
    EXPECT_EQ(objectCount.load(), before);
}

} // namespace
