// One second-order section: its design for a sample rate, and its stereo processing in
// 32-bit float (transposed direct form II, which keeps the state small and well-conditioned).
#ifndef KOVRA_BIQUAD_H
#define KOVRA_BIQUAD_H

#include "enginesettings.h"

#include <cstdint>

namespace kovra {

// Normalised coefficients (a0 == 1) of
//   H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct BiquadCoefficients {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

// The bilinear-transform design of the section's analog prototype, pre-warped so that the
// section's frequency lands exactly. Frequencies at or above Nyquist are pulled just below it.
BiquadCoefficients DesignBiquad(const FilterSection& section, double sampleRate);

// Magnitude of the designed response at a frequency, from the coefficients.
double BiquadMagnitude(const BiquadCoefficients& coefficients, double frequencyHz,
                       double sampleRate);

class StereoBiquad {
public:
    void setCoefficients(const BiquadCoefficients& coefficients);
    void clearState();
    // Filters interleaved stereo frames in place.
    void process(float* frames, uint32_t frameCount);

private:
    float b0_ = 1.0f, b1_ = 0.0f, b2_ = 0.0f, a1_ = 0.0f, a2_ = 0.0f;
    float state_[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}}; // [channel][z1, z2]
};

} // namespace kovra

#endif
