// A preset's pre-gain and biquad sections made ready for a sample rate, with their state: the
// stereo filter stage, computed in double and run by the fastest kernel the processor allows.
#ifndef KOVRA_FILTERCASCADE_H
#define KOVRA_FILTERCASCADE_H

#include "cascadedata.h"
#include "enginesettings.h"

#include <cstdint>

namespace kovra {

class FilterCascade {
public:
    FilterCascade();

    // Designs the preset's sections for the rate; the pre-gain is folded into the first one.
    // Clears the state.
    void configure(const PresetSettings& preset, double sampleRate);
    void clearState();
    // No section and unity pre-gain: processing would return every sample unchanged.
    bool passesThrough() const { return data_.sectionCount == 0; }

    // Filters interleaved stereo frames in place.
    void process(float* frames, uint32_t frameCount) { kernel_(data_, frames, frameCount); }
    // The same with a kernel of the caller's choice (both kernels must agree).
    void processWith(CascadeKernel kernel, float* frames, uint32_t frameCount) {
        kernel(data_, frames, frameCount);
    }

    // The kernel this processor runs: AVX2 with FMA where present, SSE2 otherwise.
    static CascadeKernel FastestKernel();

private:
    CascadeData data_;
    CascadeKernel kernel_;
};

} // namespace kovra

#endif
