// One second-order section's design for a sample rate (the filter cascade runs the sections).
#ifndef KOVRA_BIQUAD_H
#define KOVRA_BIQUAD_H

#include "enginesettings.h"

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

} // namespace kovra

#endif
