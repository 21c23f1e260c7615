// The numbers the true-peak kernels run on (see truepeakdetector.h), and the kernels. Plain data
// with no instruction-set header, shared by every kernel.
//
// The point at n + p / 4 is the sum over taps t of a weight times sample n - kHalfTaps + 1 + t.
// The half-way point's weights are symmetric, and those of the quarter points mirror each other,
// so each tap pair (t, kTaps - 1 - t) enters as its sum S and its difference D:
//   half = sum of half[t] S_t;  quarter = E + F;  three quarters = E - F,
// with E the sum of even[t] S_t and F the sum of odd[t] D_t, t below kHalfTaps.
#ifndef KOVRA_TRUEPEAKWEIGHTS_H
#define KOVRA_TRUEPEAKWEIGHTS_H

#include <cstdint>

namespace kovra {

struct TruePeakWeights {
    static constexpr int kTaps = 24;
    static constexpr int kHalfTaps = kTaps / 2;
    // Each weight four times over, as a 128-bit register loads it.
    alignas(16) float half[kHalfTaps][4];
    alignas(16) float even[kHalfTaps][4];
    alignas(16) float odd[kHalfTaps][4];
};

// What one scan leaves for the next, when the next starts where it ended: the three-quarter
// points of its last four positions (both channels, interleaved).
struct TruePeakCarry {
    float threeQuarters[8];
    bool known = false; // false: the next scan works them out itself
};

// The largest estimate over `count` positions of interleaved stereo, the first at `frames`;
// `carry` is what the scan of the positions just before left, and is left for the next.
using TruePeakKernel = float (*)(const TruePeakWeights& weights, const float* frames,
                                 uint32_t count, TruePeakCarry& carry);

// SSE2 runs everywhere on x86-64; AVX2 with FMA needs a processor that has both.
float ScanTruePeakSse2(const TruePeakWeights& weights, const float* frames, uint32_t count,
                       TruePeakCarry& carry);
float ScanTruePeakAvx2Fma(const TruePeakWeights& weights, const float* frames, uint32_t count,
                          TruePeakCarry& carry);

} // namespace kovra

#endif
