// One engine instance: a configuration (fold-down and which stages run) with the three presets,
// prepared for a stream shape. Everything it needs is inside the object, so no call allocates,
// locks or waits; the instance pool keeps the objects themselves.
#ifndef KOVRA_ENGINEINSTANCE_H
#define KOVRA_ENGINEINSTANCE_H

#include "downmix.h"
#include "engineconstants.h"
#include "enginesettings.h"
#include "kovraengine.h"
#include "presetchain.h"

#include <atomic>
#include <cstdint>

namespace kovra {

struct StreamShape {
    int32_t sampleRate = 0;
    int32_t channelCount = 0;
    int32_t maxBlockFrames = 0;
    int32_t inputSampleBytes = 0;
    int32_t outputSampleBytes = 0;
    int32_t outputLayout = 0;
};

class EngineInstance {
public:
    static constexpr int32_t kMaxBlockFrames = 1 << 20;

    EngineInstance(const ConfigurationSettings& configuration,
                   const std::array<PresetSettings, kPresetCount>& presets);
    EngineInstance(const EngineInstance&) = delete;
    EngineInstance& operator=(const EngineInstance&) = delete;

    KovraResult prepare(const StreamShape& shape);
    KovraResult loadPreset(int32_t preset);
    KovraResult process(const float* input, float* output, uint32_t frameCount);
    // Clears every state; the next frames fade in as a fresh instance's.
    void reset();
    // The limiter's look-ahead where the last preset loaded runs the limiter, else 0 (see
    // limiterRuns); 0 before preparation.
    uint32_t latencyFrames() const { return latencyOf(requestedPreset_.load()); }

    static constexpr double kFadeInSeconds = 0.005;
    static constexpr double kCrossfadeSeconds = 0.010;

private:
    KovraResult validate(const StreamShape& shape) const;
    void processPiece(const float* input, float* output, uint32_t frameCount);
    void takeRequestedPreset();
    // The configuration's stages for a preset, in place on interleaved stereo.
    void runChain(int preset, float* frames, uint32_t frameCount);
    void crossfadeChains(float* frames, uint32_t frameCount);
    // Neither the fold-down nor the preset's filters would change a sample.
    bool changesNothing(int preset) const;
    // The limiter runs where the configuration switches it on, and wherever the chain could
    // change the level: nothing the engine makes leaves above the preset's ceiling. So only a
    // chain that returns its input unchanged goes without it, and without its delay.
    bool limiterRuns(int preset) const {
        return configuration_.limiterEnabled || !changesNothing(preset);
    }
    uint32_t latencyOf(int preset) const { return limiterRuns(preset) ? lookAheadFrames_ : 0; }
    void restartFromRest();

    ConfigurationSettings configuration_;
    std::array<PresetSettings, kPresetCount> presets_;
    Downmix downmix_;
    PresetChain chains_[kPresetCount];
    bool prepared_ = false;
    uint32_t maxBlockFrames_ = 0;
    uint32_t lookAheadFrames_ = 0; // the limiter's, at the prepared rate
    std::atomic<int> requestedPreset_{0};
    int activePreset_ = 0;

    // Starts and switches. Until its first frame the instance is at rest: a preset loaded then
    // simply becomes the one that runs. Its first frames fade in; later a switch runs the old
    // and the new chain side by side and crossfades, after the new chain's latency, since its
    // limiter starts with nothing to look at.
    bool atRest_ = true;
    uint32_t fadeInFrames_ = 0;
    uint32_t fadeInDone_ = 0;
    uint32_t crossfadeFrames_ = 0;
    int fadingFrom_ = -1; // the preset being faded out, -1 when no crossfade runs
    uint32_t crossfadeDone_ = 0;
    static constexpr uint32_t kScratchFrames = 256;
    float scratch_[2 * kScratchFrames]; // the old chain's output during a crossfade; not cleared
};

} // namespace kovra

#endif
