// How high the band-limited signal through interleaved stereo samples rises between them: the
// limiter's true-peak detector (ITU-R BS.1770 calls that level the true peak).
//
// The samples are interpolated 4x, the three points between two samples each by a
// Kaiser-windowed sinc of 24 taps. Since even 4x points can miss a top by up to 0.5 dB near
// 20 kHz at 48 kHz, each point's estimate adds an eighth of the difference of its neighbours:
// at a top that is at least the top of the parabola through the three points, which lies within
// 0.04 dB of the true top of any tone up to 20 kHz at 48 kHz. Away from tops the extra only
// makes an estimate larger, never more than the signal nearby reaches. Measured against an
// independent 8x meter, the estimate of a tone reads no lower than its true peak and at most
// 0.05 dB higher below 10 kHz (0.14 dB at worst, near 20 kHz at 48 kHz).
#ifndef KOVRA_TRUEPEAKDETECTOR_H
#define KOVRA_TRUEPEAKDETECTOR_H

#include "truepeakweights.h"

#include <cstdint>

namespace kovra {

class TruePeakDetector {
public:
    // The estimate at a position (a sample and the three points after it) reads this many frames
    // after it, and up to this many before.
    static constexpr uint32_t kFramesAfter = TruePeakWeights::kHalfTaps;
    static constexpr uint32_t kFramesBefore = TruePeakWeights::kHalfTaps + 8;
    // The largest estimate over `count` positions of interleaved stereo, the first at `frames`,
    // both channels; kFramesBefore frames before the first and kFramesAfter after the last must be
    // readable, and positions just before the first may count too. `carry` is what the scan of
    // the positions just before left (TruePeakCarry), and is left for the next.
    static float Peak(const float* frames, uint32_t count, TruePeakCarry& carry);
    // The same with the kernel of the caller's choice (both kernels must agree).
    static float PeakWith(TruePeakKernel kernel, const float* frames, uint32_t count,
                          TruePeakCarry& carry);

    // No estimate exceeds this many times the largest sample magnitude it reads.
    static float Gain();

    // The kernel this processor runs: AVX2 with FMA where present, SSE2 otherwise.
    static TruePeakKernel FastestKernel();
};

} // namespace kovra

#endif
