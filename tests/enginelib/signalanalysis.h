// Measurements of the engine's output the way audio engineers take them, in double precision:
// THD+N of a steady tone, and the true peak between samples.
#ifndef KOVRA_SIGNALANALYSIS_H
#define KOVRA_SIGNALANALYSIS_H

#include <cstddef>

namespace kovra_test {

// THD+N of a tone of known frequency, as a ratio (0.001 is 0.1 %): the root-mean-square of what
// remains after the best-fitting sine at that frequency (and any DC) is taken away, against the
// root-mean-square of the whole signal. Reads `count` samples, `stride` floats apart.
double ThdPlusN(const float* samples, size_t count, size_t stride, double frequencyHz,
                double sampleRate);

// The true peak of interleaved stereo, as a magnitude (1.0 is 0 dBTP): the largest value of the
// band-limited signal through the samples, found by 8x interpolation with a Kaiser-windowed sinc
// of 32 taps per phase, each local top refined by the parabola through its neighbours (which
// takes away the 8x grid's own shortfall, up to 0.11 dB for tones near 20 kHz at 48 kHz).
// Positions whose interpolation would reach past either end are left out, since the stream goes
// on there. Shares nothing with the limiter's own detector.
double TruePeak(const float* stereo, size_t frames);

// The largest sample magnitude of interleaved stereo.
double SamplePeak(const float* stereo, size_t frames);

} // namespace kovra_test

#endif
