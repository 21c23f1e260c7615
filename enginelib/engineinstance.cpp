#include "engineinstance.h"

#include "denormalscope.h"
#include "fades.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kovra {

EngineInstance::EngineInstance(const ConfigurationSettings& configuration,
                               const std::array<PresetSettings, kPresetCount>& presets)
    : configuration_(configuration), presets_(presets), downmix_(configuration) {}

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
    lookAheadFrames_ = Limiter::LookAheadFrames(shape.sampleRate);
    fadeInFrames_ = static_cast<uint32_t>(std::lround(kFadeInSeconds * shape.sampleRate));
    crossfadeFrames_ = static_cast<uint32_t>(std::lround(kCrossfadeSeconds * shape.sampleRate));
    restartFromRest();
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
    restartFromRest();
}

void EngineInstance::restartFromRest() {
    atRest_ = true;
    fadeInDone_ = 0;
    fadingFrom_ = -1;
}

bool EngineInstance::changesNothing(int preset) const {
    return downmix_.isStereoIdentity() &&
           (!configuration_.filtersEnabled || chains_[preset].filtersPassThrough());
}

void EngineInstance::takeRequestedPreset() {
    const int requested = requestedPreset_.load(std::memory_order_acquire);
    // A running crossfade ends before the next one starts; the request waits for it.
    if (requested == activePreset_ || fadingFrom_ >= 0) {
        return;
    }
    // The new chain starts from silence, not from what it held when last used.
    chains_[requested].clearState();
    if (!atRest_) {
        fadingFrom_ = activePreset_;
        crossfadeDone_ = 0;
    }
    activePreset_ = requested;
}

KovraResult EngineInstance::process(const float* input, float* output, uint32_t frameCount) {
    if (input == nullptr || output == nullptr) {
        return KovraResult_kErrorParameter;
    }
    if (!prepared_) {
        std::memset(output, 0, sizeof(float) * 2 * static_cast<size_t>(frameCount));
        return KovraResult_kErrorNotAvailable;
    }
    const DenormalsAsZero denormalsAsZero;
    takeRequestedPreset();
    // A block longer than prepared goes through in prepared-size pieces, so every stage sees
    // the shape it was made ready for.
    const size_t channels = static_cast<size_t>(downmix_.channelCount());
    uint32_t done = 0;
    while (done < frameCount) {
        const uint32_t piece = std::min(frameCount - done, maxBlockFrames_);
        processPiece(input + done * channels, output + 2 * static_cast<size_t>(done), piece);
        done += piece;
    }
    return KovraResult_kOk;
}

void EngineInstance::processPiece(const float* input, float* output, uint32_t frameCount) {
    if (frameCount == 0) {
        return;
    }
    atRest_ = false;
    if (fadingFrom_ < 0 && !limiterRuns(activePreset_)) {
        downmix_.copyStereo(input, output, frameCount);
    } else {
        downmix_.mix(input, output, frameCount);
    }
    if (fadeInDone_ < fadeInFrames_) {
        FadeIn(output, frameCount, fadeInDone_, fadeInFrames_);
        fadeInDone_ = std::min(fadeInFrames_, fadeInDone_ + frameCount);
    }
    uint32_t done = 0;
    if (fadingFrom_ >= 0) {
        done = std::min(frameCount, latencyOf(activePreset_) + crossfadeFrames_ - crossfadeDone_);
        crossfadeChains(output, done);
    }
    runChain(activePreset_, output + 2 * static_cast<size_t>(done), frameCount - done);
}

void EngineInstance::runChain(int preset, float* frames, uint32_t frameCount) {
    if (configuration_.filtersEnabled && !chains_[preset].filtersPassThrough()) {
        chains_[preset].applyFilters(frames, frameCount);
    }
    if (limiterRuns(preset)) {
        chains_[preset].applyLimiter(frames, frameCount);
    }
}

void EngineInstance::crossfadeChains(float* frames, uint32_t frameCount) {
    const uint32_t delay = latencyOf(activePreset_);
    for (uint32_t done = 0; done < frameCount;) {
        const uint32_t count = std::min(frameCount - done, kScratchFrames);
        float* piece = frames + 2 * static_cast<size_t>(done);
        std::memcpy(scratch_, piece, sizeof(float) * 2 * count);
        runChain(fadingFrom_, scratch_, count);
        runChain(activePreset_, piece, count);
        Crossfade(scratch_, piece, count, crossfadeDone_, delay, crossfadeFrames_);
        crossfadeDone_ += count;
        done += count;
    }
    if (crossfadeDone_ >= delay + crossfadeFrames_) {
        fadingFrom_ = -1;
    }
}

} // namespace kovra
