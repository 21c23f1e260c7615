// One engine instance: a configuration (fold-down and which stages run) with the three presets,
// prepared for a stream shape. Everything it needs is inside the object, so after creation no
// call allocates, locks or waits.
#ifndef KOVRA_ENGINEINSTANCE_H
#define KOVRA_ENGINEINSTANCE_H

#include "downmix.h"
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
    static constexpr int32_t kMinSampleRate = 8000;
    static constexpr int32_t kMaxSampleRate = 384000;
    static constexpr int32_t kMaxBlockFrames = 1 << 20;

    EngineInstance(const ConfigurationSettings& configuration,
                   const std::array<PresetSettings, kPresetCount>& presets);
    ~EngineInstance();
    EngineInstance(const EngineInstance&) = delete;
    EngineInstance& operator=(const EngineInstance&) = delete;

    // The instance behind a handle, or null when the handle does not name a live instance.
    static EngineInstance* FromHandle(KovraHandle handle);

    KovraResult prepare(const StreamShape& shape);
    KovraResult loadPreset(int32_t preset);
    KovraResult process(const float* input, float* output, uint32_t frameCount);
    void reset();
    // The limiter's look-ahead where the configuration runs the limiter, else 0: fixed by the
    // configuration and the prepared rate, whichever preset is loaded.
    uint32_t latencyFrames() const { return latencyFrames_; }

private:
    KovraResult validate(const StreamShape& shape) const;
    void processPiece(const float* input, float* output, uint32_t frameCount, int preset);
    int takePresetForBlock();

    static constexpr uint32_t kLiveTag = 0x4B4F5652; // "KOVR"
    uint32_t tag_ = kLiveTag;
    ConfigurationSettings configuration_;
    std::array<PresetSettings, kPresetCount> presets_;
    Downmix downmix_;
    PresetChain chains_[kPresetCount];
    bool prepared_ = false;
    uint32_t maxBlockFrames_ = 0;
    uint32_t latencyFrames_ = 0;
    std::atomic<int> requestedPreset_{0};
    int activePreset_ = 0;
};

} // namespace kovra

#endif
