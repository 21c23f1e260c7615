// One second-order section: its design for a sample rate, and its stereo processing in
// 32-bit float (transposed direct form II, which keeps the state small and well-conditioned).
#ifndef KOVRA_BIQUAD_H
#define KOVRA_BIQUAD_H

#include "enginesettings.h"

#include <cmath>
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

// State below this (about -300 dBFS) is inaudible. Clearing it keeps the recursion out of the
// denormal range, where x86 arithmetic becomes many times slower, and lets the state reach exact
// zero in silence. Both memories of a channel are cleared together: clearing only one would
// remove part of the damping and can sustain a tiny oscillation for ever.
constexpr float kBiquadStateFloor = 1e-15f;

class StereoBiquad {
public:
    void setCoefficients(const BiquadCoefficients& coefficients);
    void clearState();
    // Filters one stereo frame in place. Inline: the preset chain runs every section per frame,
    // so the sections' recursions overlap in the processor instead of waiting on each other.
    void tick(float& left, float& right) {
        left = tickChannel(left, state_[0]);
        right = tickChannel(right, state_[1]);
    }
    // Filters interleaved stereo frames in place.
    void process(float* frames, uint32_t frameCount);

private:
    float tickChannel(float input, float* state) const {
        const float output = b0_ * input + state[0];
        float z1 = b1_ * input - a1_ * output + state[1];
        float z2 = b2_ * input - a2_ * output;
        const bool quiet = std::fabs(z1) < kBiquadStateFloor && std::fabs(z2) < kBiquadStateFloor;
        state[0] = quiet ? 0.0f : z1;
        state[1] = quiet ? 0.0f : z2;
        return output;
    }

    float b0_ = 1.0f, b1_ = 0.0f, b2_ = 0.0f, a1_ = 0.0f, a2_ = 0.0f;
    float state_[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}}; // [channel][z1, z2]
};

} // namespace kovra

#endif
