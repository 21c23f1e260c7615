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
    const float preGain = preGain_;
    const int sectionCount = sectionCount_;
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        float left = frames[2 * frame] * preGain;
        float right = frames[2 * frame + 1] * preGain;
        for (int index = 0; index < sectionCount; ++index) {
            sections_[index].tick(left, right);
        }
        frames[2 * frame] = left;
        frames[2 * frame + 1] = right;
    }
}

} // namespace kovra
