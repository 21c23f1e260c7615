#include "engineinstance.h"

#include <algorithm>
#include <cstring>

namespace kovra {

EngineInstance::EngineInstance(const ConfigurationSettings& configuration,
                               const std::array<PresetSettings, kPresetCount>& presets)
    : configuration_(configuration), presets_(presets), downmix_(configuration) {}

EngineInstance::~EngineInstance() {
    // A handle kept by mistake after destruction must not pass for a live instance.
    tag_ = 0;
}

EngineInstance* EngineInstance::FromHandle(KovraHandle handle) {
    auto* instance = static_cast<EngineInstance*>(handle);
    if (instance == nullptr || instance->tag_ != kLiveTag) {
        return nullptr;
    }
    return instance;
}

KovraResult EngineInstance::validate(const StreamShape& shape) const {
    if (shape.inputSampleBytes != KovraSampleBytes_kFloat32 ||
        shape.outputSampleBytes != KovraSampleBytes_kFloat32) {
        return KovraResult_kNotImplemented;
    }
    if (shape.outputLayout != KovraOutputLayout_kDefault ||
        shape.channelCount != configuration_.channelCount) {
        return KovraResult_kChannelConfigurationNotSupported;
    }
    if (shape.sampleRate < kMinSampleRate || shape.sampleRate > kMaxSampleRate) {
        return KovraResult_kSamplerateNotSupported;
    }
    if (shape.maxBlockFrames <= 0 || shape.maxBlockFrames > kMaxBlockFrames) {
        return KovraResult_kErrorParameter;
    }
    return KovraResult_kOk;
}

KovraResult EngineInstance::prepare(const StreamShape& shape) {
    const KovraResult result = validate(shape);
    if (result != KovraResult_kOk) {
        return result;
    }
    for (int preset = 0; preset < kPresetCount; ++preset) {
        chains_[preset].configure(presets_[preset], shape.sampleRate);
    }
    maxBlockFrames_ = static_cast<uint32_t>(shape.maxBlockFrames);
    latencyFrames_ = configuration_.limiterEnabled ? Limiter::LookAheadFrames(shape.sampleRate) : 0;
    prepared_ = true;
    return KovraResult_kOk;
}

KovraResult EngineInstance::loadPreset(int32_t preset) {
    if (preset < 0 || preset >= kPresetCount) {
        return KovraResult_kErrorIndexOutOfRange;
    }
    requestedPreset_.store(preset, std::memory_order_release);
    return KovraResult_kOk;
}

void EngineInstance::reset() {
    for (PresetChain& chain : chains_) {
        chain.clearState();
    }
}

int EngineInstance::takePresetForBlock() {
    const int preset = requestedPreset_.load(std::memory_order_acquire);
    if (preset != activePreset_) {
        // The newly chosen chain starts from silence, not from what it held when last used.
        chains_[preset].clearState();
        activePreset_ = preset;
    }
    return preset;
}

KovraResult EngineInstance::process(const float* input, float* output, uint32_t frameCount) {
    if (input == nullptr || output == nullptr) {
        return KovraResult_kErrorParameter;
    }
    if (!prepared_) {
        std::memset(output, 0, sizeof(float) * 2 * static_cast<size_t>(frameCount));
        return KovraResult_kErrorNotAvailable;
    }
    const int preset = takePresetForBlock();
    // A block longer than prepared goes through in prepared-size pieces, so every stage sees
    // the shape it was made ready for.
    const size_t channels = static_cast<size_t>(downmix_.channelCount());
    uint32_t done = 0;
    while (done < frameCount) {
        const uint32_t piece = std::min(frameCount - done, maxBlockFrames_);
        processPiece(input + done * channels, output + 2 * static_cast<size_t>(done), piece,
                     preset);
        done += piece;
    }
    return KovraResult_kOk;
}

void EngineInstance::processPiece(const float* input, float* output, uint32_t frameCount,
                                  int preset) {
    const bool filters = configuration_.filtersEnabled;
    const bool limiter = configuration_.limiterEnabled;
    if (downmix_.isStereoIdentity() && !filters && !limiter) {
        downmix_.copyStereo(input, output, frameCount);
        return;
    }
    downmix_.mix(input, output, frameCount);
    if (filters) {
        chains_[preset].applyFilters(output, frameCount);
    }
    if (limiter) {
        chains_[preset].applyLimiter(output, frameCount);
    }
}

} // namespace kovra
