#include "benchcase.h"

#include "directengine.h"
#include "effectstream.h"
#include "presettracker.h"

#include <algorithm>
#include <cstring>

namespace {

// APOProcess on the locked buffers; the first pass keeps what the effect wrote.
class EffectStage {
public:
    EffectStage(EffectStream& stream, StreamBuffers& buffers, std::vector<float>* keep)
        : stream(stream), buffers(buffers), keep(keep) {}
    void Before(uint32_t frames) { stream.Before(frames); }
    void Run(uint32_t frames) { stream.Run(frames); }
    void After(size_t, uint32_t frames) {
        stream.CheckAnswer(frames);
        if (keep) {
            keep->insert(keep->end(), buffers.output.begin(), buffers.output.begin() + 2 * frames);
        }
    }

private:
    EffectStream& stream;
    StreamBuffers& buffers;
    std::vector<float>* keep;
};

// Kovra_processBlock from the same input buffer into an output of its own.
class DirectStage {
public:
    DirectStage(const DirectEngine& engine, StreamBuffers& buffers, std::vector<float>* keep)
        : engine(engine), buffers(buffers), output(buffers.output.size()), keep(keep) {}
    void Before(uint32_t) {}
    void Run(uint32_t frames) { engine.Process(buffers.input.data(), output.data(), frames); }
    void After(size_t, uint32_t frames) {
        if (keep) {
            keep->insert(keep->end(), output.begin(), output.begin() + 2 * frames);
        }
    }

private:
    const DirectEngine& engine;
    StreamBuffers& buffers;
    std::vector<float> output;
    std::vector<float>* keep;
};

bool SameBits(const std::vector<float>& first, const std::vector<float>& second) {
    return first.size() == second.size() &&
           std::memcmp(first.data(), second.data(), first.size() * sizeof(float)) == 0;
}

// Adds a pass's block times; returns the pass's total.
double Collect(const PassTimes& pass, std::vector<double>& blocks) {
    blocks.insert(blocks.end(), pass.blockSeconds.begin(), pass.blockSeconds.end());
    return pass.totalSeconds;
}

} // namespace

bool RunCase(const BenchAudio& audio, const CasePlan& plan, CaseResult& result,
             std::string& error) {
    result.channels = audio.channels;
    result.sampleRate = audio.sampleRate;
    result.preset = plan.preset;
    result.configuration = ConfigurationName(audio.channels, plan.preset);
    result.periodFrames = plan.periodFrames;
    result.framesPerPass = audio.frames / plan.periodFrames * plan.periodFrames;

    StreamBuffers buffers;
    buffers.Allocate(plan.periodFrames, audio.channels, 2);
    EffectStream stream;
    EngineFunctions engine;
    // The engine library is found in the process once the effect has loaded it.
    if (!stream.Open(plan.preset, audio.sampleRate, buffers, error) ||
        !FindLoadedEngine(engine, error)) {
        return false;
    }
    result.latencyFrames = stream.LatencyFrames(audio.sampleRate);
    DirectEngine direct(engine);
    if (!direct.Open(result.configuration, audio.sampleRate, audio.channels, plan.periodFrames,
                     plan.preset, error)) {
        return false;
    }
    // The untimed first pass: both start from rest, so their outputs must agree.
    std::vector<float> directOutput;
    EffectStage keepingEffect(stream, buffers, &result.firstOutput);
    DirectStage keepingDirect(direct, buffers, &directOutput);
    TimePass(audio, plan.periodFrames, buffers.input.data(), keepingEffect);
    TimePass(audio, plan.periodFrames, buffers.input.data(), keepingDirect);
    result.sameOutput = SameBits(result.firstOutput, directOutput);

    // Timed passes alternate, so a disturbance from elsewhere on the machine hits both alike.
    EffectStage effectStage(stream, buffers, nullptr);
    DirectStage directStage(direct, buffers, nullptr);
    std::vector<double> effectBlocks;
    std::vector<double> directBlocks;
    for (int pass = 0; pass < plan.timedPasses; ++pass) {
        const double seconds = Collect(
            TimePass(audio, plan.periodFrames, buffers.input.data(), effectStage), effectBlocks);
        result.effectPassSeconds =
            pass == 0 ? seconds : std::min(result.effectPassSeconds, seconds);
        Collect(TimePass(audio, plan.periodFrames, buffers.input.data(), directStage),
                directBlocks);
    }
    if (!stream.AllBlocksValid()) {
        error = "the effect did not return every period whole and flagged valid";
        return false;
    }
    result.effect = SummarizePeriodTimes(std::move(effectBlocks));
    result.direct = SummarizePeriodTimes(std::move(directBlocks));
    return true;
}
