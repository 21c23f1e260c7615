// One filter preset made ready for a sample rate: pre-gain, the biquad chain and the limiter,
// with their state. Fixed capacity: nothing here allocates.
#ifndef KOVRA_PRESETCHAIN_H
#define KOVRA_PRESETCHAIN_H

#include "biquad.h"
#include "enginesettings.h"
#include "limiter.h"

#include <cstdint>

namespace kovra {

class PresetChain {
public:
    void configure(const PresetSettings& preset, double sampleRate);
    void clearState();
    // Pre-gain and the biquad chain, in place on interleaved stereo.
    void applyFilters(float* frames, uint32_t frameCount);
    // The output limiter, in place on interleaved stereo.
    void applyLimiter(float* frames, uint32_t frameCount) { limiter_.process(frames, frameCount); }

private:
    float preGain_ = 1.0f;
    int sectionCount_ = 0;
    StereoBiquad sections_[kMaxSectionsPerPreset];
    Limiter limiter_;
};

} // namespace kovra

#endif
