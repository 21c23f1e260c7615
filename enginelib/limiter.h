// The output limiter: a stereo-linked look-ahead peak limiter. It delays the signal by a fixed
// look-ahead (LookAheadFrames of the rate, about 2 ms) and lowers the gain smoothly before a peak
// arrives, so that no sample leaves above the ceiling; the last step is a clamp at the ceiling
// that catches float rounding, and almost never has anything to catch.
//
// The gain is worked out per sub-block of an eighth of the look-ahead: each sub-block's peak
// asks for ceiling / peak. The smallest request of the look-ahead and the hold time is kept
// (a sliding minimum), the release lets the gain recover exponentially towards 1 once the hold
// has passed, and a raised-cosine average over seven sub-blocks shapes the attack into an S-curve
// that ends in time. Between sub-blocks the gain moves linearly, sample by sample. A steady tone
// therefore gets a steady gain: the hold spans more than half a period of any tone down to
// 1000 / (2 * hold ms) Hz, so the gain does not ride the waveform.
#ifndef KOVRA_LIMITER_H
#define KOVRA_LIMITER_H

#include "enginesettings.h"
#include "slidingminimum.h"

#include <cstdint>

namespace kovra {

class Limiter {
public:
    static constexpr double kLookAheadMs = 2.0;
    static constexpr double kMaxSampleRate = 384000.0;

    // The delay the limiter adds at a sample rate, in frames: the same for every setting.
    static uint32_t LookAheadFrames(double sampleRate);

    void configure(const LimiterSettings& settings, double sampleRate);
    // Back to rest: unity gain and a silent look-ahead.
    void clearState();
    // Limits interleaved stereo frames in place; the output is the input delayed by
    // latencyFrames(), less the gain reduction.
    void process(float* interleavedStereo, uint32_t frames);
    uint32_t latencyFrames() const { return latencyFrames_; }

private:
    static constexpr int kAttackSteps = 7; // sub-blocks over which the gain falls to a peak
    // Frames; a power of two that holds the look-ahead and a sub-block at the highest rate.
    static constexpr uint32_t kDelayCapacity = 1024;
    static_assert((kAttackSteps + 2) *
                      (kMaxSampleRate * kLookAheadMs * 1e-3 / (kAttackSteps + 1) + 1) <=
                  kDelayCapacity);
    // Sub-blocks; one lasts a quarter millisecond rounded to whole frames, never under a sixth,
    // so this holds the longest hold and the attack at any rate.
    static constexpr uint32_t kHoldCapacity = 2048;
    static_assert(kMaxLimiterHoldMs * 6 + kAttackSteps + 2 <= kHoldCapacity);

    static uint32_t SubBlockFrames(double sampleRate);
    void storeAndMeasure(const float* frames, uint32_t frameCount);
    // Sends out the frames that leave as input frames firstFrame... arrive, on the current gain
    // ramp from its frame firstPosition.
    void emit(float* frames, uint32_t firstFrame, uint32_t frameCount, uint32_t firstPosition);
    void finishSubBlock();

    // Settings for the rate.
    float ceiling_ = 1.0f;
    float releaseFactor_ = 0.0f; // share of the distance to unity gain kept per sub-block
    float attackWeights_[kAttackSteps] = {};
    uint32_t subBlockFrames_ = 1;
    float framesPerSubBlockInverse_ = 1.0f;
    uint32_t latencyFrames_ = 0;

    // State.
    float delay_[2 * 2 * kDelayCapacity] = {}; // two copies of the delay line, one after the other
    uint32_t writeFrame_ = 0;                  // where the next input frame goes in the delay line
    uint32_t filled_ = 0;                      // input frames of the sub-block being measured
    float subBlockPeak_ = 0.0f;
    SlidingMinimum<kHoldCapacity> heldRequest_;
    float reduction_ = 0.0f; // 1 - the envelope: the held request after the release
    float recentEnvelopes_[kAttackSteps] = {}; // oldest first
    int restingSubBlocks_ = 0;                 // envelopes at unity in a row
    float lastBoundary_ = 1.0f;                // gain at the end of the sub-block being sent out
    float rampStart_ = 1.0f;                   // gain at the start of the sub-block being sent out
    float rampStep_ = 0.0f;                    // and its change per frame
};

} // namespace kovra

#endif
