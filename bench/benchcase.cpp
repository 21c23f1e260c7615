#include "benchcase.h"

#include "directengine.h"
#include "effectstream.h"
#include "presettracker.h"

#include <algorithm>
#include <cstring>
#include <string>

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

// APOProcess as EffectStage, with a notification before every `every`-th block, untimed, so
// that the block is a reload block: it must come back silent, flagged valid.
class ReloadStage {
public:
    ReloadStage(EffectStream& stream, StreamBuffers& buffers, uint32_t preset, uint32_t every)
        : stream(stream), buffers(buffers), preset(preset), every(every) {}
    void Before(uint32_t frames) {
        if (IsReload(next) && error.empty()) {
            stream.RequestReload(preset, error);
        }
        stream.Before(frames);
    }
    void Run(uint32_t frames) { stream.Run(frames); }
    void After(size_t block, uint32_t frames) {
        stream.CheckAnswer(frames);
        const auto end = buffers.output.begin() + 2 * frames;
        if (IsReload(block) &&
            std::any_of(buffers.output.begin(), end, [](float sample) { return sample != 0.0f; })) {
            error = "a notification before block " + std::to_string(block) +
                    " did not make it a silent reload block";
        }
        ++next;
    }
    // The times of the reload blocks of the pass; false with `failure` set when one went wrong.
    bool ReloadTimes(const PassTimes& pass, std::vector<double>& times, std::string& failure) {
        for (size_t block = 0; block < pass.blockSeconds.size(); block += every) {
            times.push_back(pass.blockSeconds[block]);
        }
        failure = error;
        return error.empty();
    }

private:
    bool IsReload(size_t block) const { return block % every == 0; }

    EffectStream& stream;
    StreamBuffers& buffers;
    uint32_t preset;
    uint32_t every;
    size_t next = 0;
    std::string error;
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
        !stream.LatencyFrames(audio.sampleRate, result.latencyFrames, error) ||
        !FindLoadedEngine(engine, error)) {
        return false;
    }
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
    ReloadStage reloadStage(stream, buffers, plan.preset, plan.reloadEvery);
    std::vector<double> reloadBlocks;
    if (!reloadStage.ReloadTimes(
            TimePass(audio, plan.periodFrames, buffers.input.data(), reloadStage), reloadBlocks,
            error)) {
        return false;
    }
    if (!stream.AllBlocksValid()) {
        error = "the effect did not return every period whole and flagged valid";
        return false;
    }
    result.effect = SummarizePeriodTimes(std::move(effectBlocks));
    result.direct = SummarizePeriodTimes(std::move(directBlocks));
    result.reload = SummarizePeriodTimes(std::move(reloadBlocks));
    return true;
}
