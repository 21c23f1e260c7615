// The engine-like loop against a stand-in effect that keeps the left and right input channels,
// answers silence with silence and, like the real effect, makes a reload block after a change.
#include "processingloop.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class StandInEffect : public IAudioProcessingObjectRT {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    UINT32 STDMETHODCALLTYPE CalcInputFrames(UINT32 frames) override { return frames; }
    UINT32 STDMETHODCALLTYPE CalcOutputFrames(UINT32 frames) override { return frames; }

    void STDMETHODCALLTYPE APOProcess(UINT32, APO_CONNECTION_PROPERTY** inputs, UINT32,
                                      APO_CONNECTION_PROPERTY** outputs) override {
        const APO_CONNECTION_PROPERTY& input = *inputs[0];
        APO_CONNECTION_PROPERTY& output = *outputs[0];
        flagsSeen.push_back(input.u32BufferFlags);
        framesSeen.push_back(input.u32ValidFrameCount);
        inputBuffers.push_back(input.pBuffer);
        output.u32ValidFrameCount = input.u32ValidFrameCount - shortBy;
        output.u32BufferFlags = input.u32BufferFlags;
        if (input.u32BufferFlags != BUFFER_VALID) {
            return;
        }
        const auto* in = reinterpret_cast<const float*>(input.pBuffer);
        auto* out = reinterpret_cast<float*>(output.pBuffer);
        for (UINT32 frame = 0; frame < input.u32ValidFrameCount; ++frame) {
            out[2 * frame] = reloadPending ? 0.0f : in[channels * frame];
            out[2 * frame + 1] = reloadPending ? 0.0f : in[channels * frame + 1];
        }
        reloadPending = false;
    }

    uint32_t channels = 2;
    UINT32 shortBy = 0;
    bool reloadPending = false;
    std::vector<UINT32> flagsSeen;
    std::vector<UINT32> framesSeen;
    std::vector<UINT_PTR> inputBuffers;
};

class StandInChanger : public PropertyChanger {
public:
    explicit StandInChanger(StandInEffect& effect) : effect(effect) {}
    HRESULT Apply(const PropertyChange& change) override {
        applied.push_back(change.value);
        effect.reloadPending = true;
        return S_OK;
    }
    StandInEffect& effect;
    std::vector<uint32_t> applied;
};

// A 3-channel 1000 Hz file of `frames` frames; frames in [silentFrom, silentTo) are zero.
std::vector<uint8_t> FloatWav(uint32_t frames, uint32_t silentFrom, uint32_t silentTo) {
    std::vector<float> samples(frames * 3);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const bool silent = frame >= silentFrom && frame < silentTo;
        for (uint32_t channel = 0; channel < 3; ++channel) {
            samples[frame * 3 + channel] = silent ? 0.0f : 0.001f * (frame + 1) * (channel + 1);
        }
    }
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 0,    0,    0,   0,   'W',  'A',
                                  'V', 'E', 'f', 'm', 't',  ' ',  16,  0,   0,    0,
                                  3,   0,   3,   0,   0xE8, 0x03, 0,   0,   0x70, 0x2E,
                                  0,   0,   12,  0,   32,   0,    'd', 'a', 't',  'a'};
    const uint32_t dataBytes = frames * 12;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(dataBytes >> shift));
    }
    const auto* raw = reinterpret_cast<const uint8_t*>(samples.data());
    bytes.insert(bytes.end(), raw, raw + dataBytes);
    return bytes;
}

struct LoopRun {
    StandInEffect effect;
    LoopResult result;
    std::string error;
    bool finished = false;
    std::vector<float> written;
};

void RunStream(LoopRun& run, uint32_t frames, uint32_t periodFrames,
               std::vector<PropertyChange> changes, uint32_t silentFrom = 0,
               uint32_t silentTo = 0) {
    TempFolder folder;
    WavReader reader;
    ASSERT_TRUE(reader.Open(
        std::make_unique<MemoryByteSource>(FloatWav(frames, silentFrom, silentTo)), run.error))
        << run.error;
    WavWriter writer;
    const std::wstring path = folder.File(L"out.wav");
    ASSERT_TRUE(writer.Create(path, 2, 1000, OutputEncoding::Float32, run.error));
    StreamBuffers buffers;
    buffers.Allocate(periodFrames, 3, 2);
    run.effect.channels = 3;
    StandInChanger changer(run.effect);
    ProgressBar progress(stderr, frames, 1000, false);
    run.finished = RunProcessingLoop(&run.effect, buffers, reader, writer, changes, changer,
                                     progress, run.result, run.error);
    if (!run.finished) {
        return;
    }
    for (UINT_PTR buffer : run.effect.inputBuffers) {
        EXPECT_EQ(buffer, reinterpret_cast<UINT_PTR>(buffers.input.data()));
    }
    ASSERT_TRUE(writer.Finish(run.error));
    WavReader back;
    ASSERT_TRUE(OpenWavFile(back, path, run.error));
    run.written.resize(back.FramesLeft() * 2);
    back.ReadFrames(run.written.data(), back.FramesLeft(), run.error);
}

PropertyChange At(double seconds, uint32_t value = 1) {
    PropertyChange change;
    change.value = value;
    change.at.seconds = seconds;
    return change;
}

TEST(ProcessingLoop, SendsTheFileInPeriodsWithAPartialLastOne) {
    LoopRun run;
    RunStream(run, 1050, 100, {});
    ASSERT_TRUE(run.finished) << run.error;
    EXPECT_EQ(run.result.periods, 11u);
    EXPECT_EQ(run.effect.framesSeen.back(), 50u);
    EXPECT_EQ(run.result.framesOut, 1050u);
    ASSERT_EQ(run.written.size(), 2100u);
    EXPECT_FLOAT_EQ(run.written[2 * 1049], 0.001f * 1050);
    EXPECT_FLOAT_EQ(run.written[2 * 1049 + 1], 0.002f * 1050);
    EXPECT_EQ(run.result.processTimes.Count(), 11u);
}

TEST(ProcessingLoop, DigitalSilenceIsPassedAsSilentAndWrittenAsZeros) {
    LoopRun run;
    RunStream(run, 500, 100, {}, 100, 250);
    ASSERT_TRUE(run.finished) << run.error;
    EXPECT_EQ(run.effect.flagsSeen, (std::vector<UINT32>{BUFFER_VALID, BUFFER_SILENT, BUFFER_VALID,
                                                         BUFFER_VALID, BUFFER_VALID}));
    EXPECT_EQ(run.result.silentPeriods, 1u);
    for (size_t sample = 200; sample < 500; ++sample) {
        ASSERT_EQ(run.written[sample], 0.0f) << sample;
    }
    EXPECT_NE(run.written[500], 0.0f);
}

TEST(ProcessingLoop, AChangeIsAppliedAtThePeriodBoundaryAtOrAfterItsTime) {
    LoopRun run;
    RunStream(run, 1000, 100, {At(0.35, 2), At(0.1, 1), At(0.999, 3), At(5.0, 4)});
    ASSERT_TRUE(run.finished) << run.error;
    ASSERT_EQ(run.result.changes.size(), 2u);
    EXPECT_EQ(run.result.changes[0].change.value, 1u);
    EXPECT_EQ(run.result.changes[0].frame, 100u);
    EXPECT_EQ(run.result.changes[0].period, 1u);
    EXPECT_EQ(run.result.changes[1].frame, 400u);
    EXPECT_EQ(run.result.changes[1].period, 4u);
    ASSERT_EQ(run.result.reloadBlocks.size(), 2u);
    EXPECT_EQ(run.result.reloadBlocks[0].period, 1u);
    EXPECT_EQ(run.result.reloadBlocks[1].period, 4u);
}

TEST(ProcessingLoop, AReloadWaitsForTheNextValidPeriod) {
    LoopRun run;
    RunStream(run, 600, 100, {At(0.1)}, 100, 300);
    ASSERT_TRUE(run.finished) << run.error;
    ASSERT_EQ(run.result.reloadBlocks.size(), 1u);
    EXPECT_EQ(run.result.reloadBlocks[0].period, 3u);
    EXPECT_EQ(run.result.reloadBlocks[0].frame, 300u);
}

TEST(ProcessingLoop, AShortAnswerFromTheEffectStopsTheRun) {
    LoopRun run;
    run.effect.shortBy = 1;
    RunStream(run, 300, 100, {});
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.result.failure, LoopFailure::Effect);
    EXPECT_NE(run.error.find("returned 99 frames"), std::string::npos) << run.error;
}

} // namespace
