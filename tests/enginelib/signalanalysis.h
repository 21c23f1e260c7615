// Measurements of the engine's output the way audio engineers take them, in double precision:
// THD+N of a steady tone.
#ifndef KOVRA_SIGNALANALYSIS_H
#define KOVRA_SIGNALANALYSIS_H

#include <cstddef>

namespace kovra_test {

// THD+N of a tone of known frequency, as a ratio (0.001 is 0.1 %): the root-mean-square of what
// remains after the best-fitting sine at that frequency (and any DC) is taken away, against the
// root-mean-square of the whole signal. Reads `count` samples, `stride` floats apart.
double ThdPlusN(const float* samples, size_t count, size_t stride, double frequencyHz,
                double sampleRate);

} // namespace kovra_test

#endif
