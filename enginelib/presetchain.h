// One filter preset made ready for a sample rate: its filter cascade (pre-gain and biquads) and
// its limiter, with their state. Fixed capacity: nothing here allocates.
#ifndef KOVRA_PRESETCHAIN_H
#define KOVRA_PRESETCHAIN_H

#include "enginesettings.h"
#include "filtercascade.h"
#include "limiter.h"

#include <cstdint>

namespace kovra {

class PresetChain {
public:
    void configure(const PresetSettings& preset, double sampleRate);
    void clearState();
    // The preset has no filter and no pre-gain: its filter stage changes nothing.
    bool filtersPassThrough() const { return cascade_.passesThrough(); }
    // Pre-gain and the biquad chain, in place on interleaved stereo.
    void applyFilters(float* frames, uint32_t frameCount) { cascade_.process(frames, frameCount); }
    // The output limiter, in place on interleaved stereo.
    void applyLimiter(float* frames, uint32_t frameCount) { limiter_.process(frames, frameCount); }

private:
    FilterCascade cascade_;
    Limiter limiter_;
};

} // namespace kovra

#endif
