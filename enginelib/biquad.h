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

// Whether a rate can carry the section: its frequency lies below half the sample rate. Above,
// the bilinear transform has no frequency to map it to; such a section passes its input
// through unchanged (a boost or cut, shelf or corner beyond what the rate carries), never a
// resonance at the edge of the band that nobody asked for.
bool IsRealisable(const FilterSection& section, double sampleRate);

// The bilinear-transform design of the section's analog prototype, pre-warped so that the
// section's frequency lands exactly; a section the rate cannot realise passes through.
BiquadCoefficients DesignBiquad(const FilterSection& section, double sampleRate);

// Magnitude of the designed response at a frequency, from the coefficients.
double BiquadMagnitude(const BiquadCoefficients& coefficients, double frequencyHz,
                       double sampleRate);

} // namespace kovra

#endif
