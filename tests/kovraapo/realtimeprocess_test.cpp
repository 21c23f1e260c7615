// APOProcess: what each kind of block does to the output record and the engine, the reload
// block, and the promise that no block allocates, frees, locks or waits.
#include "effecttestsupport.h"
#include "realtimeprobe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <mutex>

using namespace effecttest;
using recordingengine::Call;
using recordingengine::CallsOf;

namespace {

class RealtimeTest : public EffectTest {
protected:
    void LockStereo(UINT32 enable, UINT32 mode) {
        effect->SetEndpointValues(enable, mode);
        ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    }
    void FillOutput(float value) {
        std::fill(stream.output.samples.begin(), stream.output.samples.end(), value);
    }

    EffectHolder effect{&registration};
    Stream stream{2, 48000, 480};
};

TEST_F(RealtimeTest, ValidBlockGoesThroughTheEngine) {
    LockStereo(1, 0);
    Block block(stream, 480, BUFFER_VALID);
    block.Run(effect.effect);
    EXPECT_EQ(block.out.u32ValidFrameCount, 480u);
    EXPECT_EQ(block.out.u32BufferFlags, BUFFER_VALID);
    EXPECT_EQ(effect->BlockFrameCount(), 480u);
    const auto blocks = CallsOf(Call::ProcessBlock);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].handle, effect->EngineHandle());
    EXPECT_EQ(blocks[0].input, stream.input.samples.data());
    EXPECT_EQ(blocks[0].output, stream.output.samples.data());
    EXPECT_EQ(blocks[0].arguments[0], 480);
}

TEST_F(RealtimeTest, ZeroFrameBlockStillCallsTheEngine) {
    LockStereo(1, 0);
    Block block(stream, 0, BUFFER_VALID);
    block.out.u32ValidFrameCount = 77;
    block.Run(effect.effect);
    EXPECT_EQ(block.out.u32ValidFrameCount, 0u);
    const auto blocks = CallsOf(Call::ProcessBlock);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].arguments[0], 0);
}

TEST_F(RealtimeTest, SilentBlockPassesAsSilenceAndKeepsAPendingReload) {
    LockStereo(1, 0);
    Block valid(stream, 480, BUFFER_VALID);
    valid.Run(effect.effect);
    effect->RequestReload();
    FillOutput(0.5f);
    const size_t callsBefore = recordingengine::Calls().size();

    Block silent(stream, 240, BUFFER_SILENT);
    silent.Run(effect.effect);
    EXPECT_EQ(silent.out.u32ValidFrameCount, 240u);
    EXPECT_EQ(silent.out.u32BufferFlags, BUFFER_SILENT);
    EXPECT_EQ(stream.output.samples[0], 0.5f); // not written
    EXPECT_EQ(effect->BlockFrameCount(), 480u);
    EXPECT_EQ(recordingengine::Calls().size(), callsBefore);
    EXPECT_EQ(effect->ReloadPending(), 1u);
}

TEST_F(RealtimeTest, InvalidBlockLeavesTheOutputRecordAlone) {
    LockStereo(1, 0);
    for (UINT32 flags : {0u, 3u, 0xFFFFFFFFu}) {
        Block block(stream, 480, static_cast<APO_BUFFER_FLAGS>(flags));
        block.out.u32ValidFrameCount = 12;
        block.out.u32BufferFlags = BUFFER_SILENT;
        const APO_CONNECTION_PROPERTY before = block.out;
        block.Run(effect.effect);
        EXPECT_EQ(0, memcmp(&before, &block.out, sizeof before)) << flags;
    }
    EXPECT_TRUE(CallsOf(Call::ProcessBlock).empty());
}

TEST_F(RealtimeTest, MissingConnectionRecordsAreIgnored) {
    LockStereo(1, 0);
    Block block(stream, 480, BUFFER_VALID);
    APO_CONNECTION_PROPERTY* none = nullptr;
    effect->APOProcess(1, &none, 1, &block.outPointer);
    effect->APOProcess(1, &block.inPointer, 1, nullptr);
    EXPECT_TRUE(CallsOf(Call::ProcessBlock).empty());
}

TEST_F(RealtimeTest, ReloadBlockReopensWithTheNewPresetAndOutputsSilence) {
    LockStereo(1, 0); // "2_ch", preset 0
    const KovraHandle first = effect->EngineHandle();
    recordingengine::Clear();
    recordingengine::SetLatencyFrames(0);

    effect->SetFilterMode(1);
    effect->RequestReload();
    FillOutput(0.25f);
    Block reload(stream, 300, BUFFER_VALID);
    reload.Run(effect.effect);

    EXPECT_EQ(reload.out.u32ValidFrameCount, 300u);
    EXPECT_EQ(reload.out.u32BufferFlags, BUFFER_VALID);
    for (size_t i = 0; i < 600; ++i) {
        ASSERT_EQ(stream.output.samples[i], 0.0f) << i;
    }
    EXPECT_EQ(stream.output.samples[600], 0.25f); // nothing past the block is touched
    EXPECT_TRUE(CallsOf(Call::ProcessBlock).empty());
    EXPECT_EQ(effect->ReloadPending(), 0u);

    // The new instance is made ready before it replaces the old one, which is destroyed last.
    const auto& calls = recordingengine::Calls();
    const Call expected[] = {Call::Reset,      Call::GetConfigIndexFromName,
                             Call::Create,     Call::PrepareToPlay,
                             Call::LoadFilter, Call::GetLatency,
                             Call::Destroy};
    ASSERT_EQ(calls.size(), std::size(expected));
    const KovraHandle opened = effect->EngineHandle();
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].call, expected[i]) << i;
        if (i >= 2 && i <= 5) {
            EXPECT_EQ(calls[i].handle, opened) << i;
        }
    }
    EXPECT_EQ(calls[0].handle, first);
    EXPECT_EQ(calls[6].handle, first);
    EXPECT_STREQ(calls[1].name, "2_ch_bypass");
    EXPECT_EQ(calls[4].arguments[0], 1);

    Block next(stream, 480, BUFFER_VALID);
    next.Run(effect.effect);
    const auto blocks = CallsOf(Call::ProcessBlock);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].handle, effect->EngineHandle());
}

TEST_F(RealtimeTest, ManyReloadsLeaveExactlyOneInstance) {
    LockStereo(1, 0);
    Block block(stream, 480, BUFFER_VALID);
    for (int i = 0; i < 1000; ++i) {
        effect->SetFilterMode(static_cast<UINT32>(i % 3));
        effect->RequestReload();
        block.Run(effect.effect);
    }
    EXPECT_EQ(recordingengine::PeakLiveInstances(), 2u);
    EXPECT_EQ(recordingengine::LiveInstances(), 1u);
    EXPECT_EQ(effect->UnlockForProcess(), S_OK);
    EXPECT_EQ(recordingengine::LiveInstances(), 0u);
}

// A request that arrives while a reload block is reopening the instance must not be swallowed
// by that block: the engine's LoadFilter call is the moment "during the reload".
TEST_F(RealtimeTest, RequestDuringAReloadIsAppliedAtTheNextBlock) {
    LockStereo(1, 0);
    effect->SetFilterMode(1);
    effect->RequestReload();
    bool requested = false;
    recordingengine::OnCall(Call::LoadFilter, [&] {
        if (!requested) { // the notification thread's writes, once
            requested = true;
            effect->SetFilterMode(2);
            effect->RequestReload();
        }
    });
    Block block(stream, 480, BUFFER_VALID);
    block.Run(effect.effect);
    ASSERT_TRUE(requested);
    EXPECT_EQ(effect->ReloadPending(), 1u);
    recordingengine::Clear();
    block.Run(effect.effect);
    const auto loads = CallsOf(Call::LoadFilter);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].arguments[0], 2);
    EXPECT_TRUE(CallsOf(Call::ProcessBlock).empty());
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

// A block that claims more frames than the lock made room for (the audio engine never sends
// one) is cut to the lock's maximum, whichever kind it is: nothing past the buffers the lock
// described is read or written, and the engine never gets a block longer than it was prepared
// for.
TEST_F(RealtimeTest, BlockLongerThanTheLocksMaximumIsCutToIt) {
    Stream roomy(2, 48000, 960); // buffers with room to spare: what is written past 480 shows
    roomy.input.descriptor.u32MaxFrameCount = roomy.output.descriptor.u32MaxFrameCount = 480;
    ASSERT_EQ(roomy.Lock(effect.effect), S_OK);
    const struct {
        const char* name;
        APO_BUFFER_FLAGS flags;
        bool reload;
    } cases[] = {{"valid", BUFFER_VALID, false},
                 {"reload", BUFFER_VALID, true},
                 {"silent", BUFFER_SILENT, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.reload) {
            effect->RequestReload();
        }
        std::fill(roomy.output.samples.begin(), roomy.output.samples.end(), 0.5f);
        const size_t blocksBefore = CallsOf(Call::ProcessBlock).size();
        Block block(roomy, 961, c.flags);
        block.Run(effect.effect);
        EXPECT_EQ(block.out.u32ValidFrameCount, 480u);
        const auto blocks = CallsOf(Call::ProcessBlock);
        EXPECT_EQ(blocks.size(), blocksBefore + (c.flags == BUFFER_VALID && !c.reload));
        if (blocks.size() > blocksBefore) {
            EXPECT_EQ(blocks.back().arguments[0], 480);
        }
        const auto& out = roomy.output.samples;
        EXPECT_EQ(std::count(out.begin() + 960, out.end(), 0.5f), 960);
    }
}

// Wider input than output: a reload block silences the stereo output of its frames, no more.
TEST_F(RealtimeTest, ReloadOfWideInputZeroesExactlyTheStereoOutput) {
    for (const UINT32 channels : {6u, 8u}) {
        SCOPED_TRACE(channels);
        EffectHolder wide(&registration);
        Stream wideStream(channels, 48000, 480);
        ASSERT_EQ(wideStream.Lock(wide.effect), S_OK);
        wide->RequestReload();
        std::fill(wideStream.output.samples.begin(), wideStream.output.samples.end(), 0.5f);
        Block block(wideStream, 100, BUFFER_VALID);
        block.Run(wide.effect);
        const auto& out = wideStream.output.samples;
        EXPECT_EQ(std::count(out.begin(), out.begin() + 200, 0.0f), 200);
        EXPECT_EQ(std::count(out.begin() + 200, out.end(), 0.5f), 760);
    }
}

// With no engine instance (none could be created, or the engine has no configuration for the
// channel count) a valid block is silent and keeps its flags and count; the engine is not called.
TEST_F(RealtimeTest, WithoutAnInstanceValidBlocksAreSilent) {
    struct Case {
        const char* name;
        UINT32 channels;
        bool failCreate;
    };
    const Case cases[] = {{"creation fails", 2, true}, {"no configuration for 4", 4, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recordingengine::Clear();
        recordingengine::FailCreate(c.failCreate);
        BasicEffectHolder<NegotiationChosenByTest> bare(&registration);
        Stream bareStream(c.channels, 48000, 480);
        ASSERT_EQ(bareStream.Lock(bare.effect), S_OK);
        EXPECT_EQ(bare->EngineHandle(), nullptr);
        for (const bool reload : {false, true}) {
            if (reload) {
                bare->RequestReload();
            }
            std::fill(bareStream.output.samples.begin(), bareStream.output.samples.end(), 0.5f);
            Block block(bareStream, 100, BUFFER_VALID);
            block.Run(bare.effect);
            EXPECT_EQ(block.out.u32BufferFlags, BUFFER_VALID);
            EXPECT_EQ(block.out.u32ValidFrameCount, 100u);
            const auto& out = bareStream.output.samples;
            EXPECT_EQ(std::count(out.begin(), out.begin() + 200, 0.0f), 200) << reload;
            EXPECT_EQ(out[200], 0.5f);
        }
        HNSTIME latency = -1;
        EXPECT_EQ(bare->GetLatency(&latency), S_OK);
        EXPECT_EQ(latency, 0);
        EXPECT_TRUE(CallsOf(Call::ProcessBlock).empty());
        EXPECT_TRUE(CallsOf(Call::LoadFilter).empty());
        EXPECT_EQ(recordingengine::CallsWithNullHandle(), 0u);
    }
}

// A reload whose new instance cannot be created keeps the instance the stream had, with the
// preset it had: sound goes on rather than stopping for a setting.
TEST_F(RealtimeTest, FailedReloadKeepsTheInstanceItHad) {
    LockStereo(1, 0);
    const KovraHandle held = effect->EngineHandle();
    recordingengine::FailCreate(true);
    effect->SetFilterMode(1);
    effect->RequestReload();
    Block block(stream, 480, BUFFER_VALID);
    block.Run(effect.effect);
    block.Run(effect.effect);
    EXPECT_EQ(effect->EngineHandle(), held);
    EXPECT_EQ(recordingengine::LiveInstances(), 1u);
    EXPECT_EQ(CallsOf(Call::LoadFilter).size(), 1u); // the lock's preset 0 only
    const auto blocks = CallsOf(Call::ProcessBlock);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].handle, held);
}

TEST_F(RealtimeTest, PresetOutsideTheTableLoadsNothingButEndsTheRequest) {
    LockStereo(1, 0);
    // A preset outside 0..2 loads nothing, yet the request is consumed and the block is silent.
    effect->SetFilterMode(7);
    effect->RequestReload();
    Block block(stream, 480, BUFFER_VALID);
    block.Run(effect.effect);
    EXPECT_EQ(CallsOf(Call::LoadFilter).size(), 1u); // the lock's own load only
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

// Neither an ordinary block nor a reload block may allocate, free, take a lock or wait on the
// real-time thread. The engine stand-in does none of that itself, so what is counted is the
// effect's, winpthreads' locks included; shippedrealtime_test.cpp counts the built DLL on the
// real engine library.
TEST_F(RealtimeTest, BlocksAllocateNothingAndTakeNoLock) {
    LockStereo(1, 0);
    Block block(stream, 480, BUFFER_VALID);
    block.Run(effect.effect); // warm up
    for (const bool reload : {false, true}) {
        SCOPED_TRACE(reload ? "reload blocks" : "ordinary blocks");
        realtimeprobe::ThreadCount count;
        for (int i = 0; i < 100; ++i) {
            if (reload) {
                effect->SetFilterMode(static_cast<UINT32>(i % 3));
                effect->RequestReload();
            }
            block.Run(effect.effect);
        }
        const realtimeprobe::Counts counted = count.Stop();
        EXPECT_EQ(counted.allocations, 0);
        EXPECT_EQ(counted.frees, 0);
        EXPECT_EQ(counted.lockWaits, 0);
        // Every block did what it stands for: 100 more blocks, or 100 more instances.
        EXPECT_EQ(CallsOf(reload ? Call::Create : Call::ProcessBlock).size(), 101u);
    }
    // The probe does see what it counts: otherwise the checks above prove nothing.
    std::mutex mutex;
    mutex.lock(); // winpthreads makes the mutex itself at its first lock
    mutex.unlock();
    CriticalSection section;
    realtimeprobe::ThreadCount count;
    int* volatile allocated = new int(1);
    delete allocated;
    std::lock_guard<std::mutex>{mutex};
    CriticalSectionGuard{section};
    const realtimeprobe::Counts counted = count.Stop();
    EXPECT_EQ(counted.allocations, 1);
    EXPECT_EQ(counted.frees, 1);
    EXPECT_EQ(counted.lockWaits, 2);
}

} // namespace
