#include "presetchain.h"

#include <algorithm>
#include <cmath>

namespace kovra {

void PresetChain::configure(const PresetSettings& preset, double sampleRate) {
    preGain_ = static_cast<float>(std::pow(10.0, preset.preGainDb / 20.0));
    sectionCount_ = std::clamp(preset.sectionCount, 0, kMaxSectionsPerPreset);
    for (int index = 0; index < sectionCount_; ++index) {
        sections_[index].setCoefficients(DesignBiquad(preset.sections[index], sampleRate));
    }
    limiter_.configure(preset.limiter, sampleRate);
    clearState();
}

void PresetChain::clearState() {
    for (StereoBiquad& section : sections_) {
        section.clearState();
    }
    limiter_.clearState();
}

void PresetChain::applyFilters(float* frames, uint32_t frameCount) {
    if (preGain_ != 1.0f) {
        const size_t samples = 2 * static_cast<size_t>(frameCount);
        for (size_t index = 0; index < samples; ++index) {
            frames[index] *= preGain_;
        }
    }
    for (int index = 0; index < sectionCount_; ++index) {
        sections_[index].process(frames, frameCount);
    }
}

} // namespace kovra
