// The output limiter: a stereo-linked look-ahead true-peak limiter. It delays the signal by a
// fixed look-ahead (LookAheadFrames of the rate, about 2 ms) and lowers the gain smoothly before
// a peak arrives, so that neither a sample nor the band-limited signal between samples leaves
// above the ceiling; the last step is a clamp at the ceiling that catches float rounding, and
// almost never has anything to catch.
//
// The gain is worked out per sub-block of an eighth of the look-ahead: each sub-block's peak
// asks for ceiling / peak. The peak is the larger of the sub-block's samples and of the true
// peak between them (TruePeakDetector), which is known a few frames later than the samples, so
// that it counts for the sub-block it becomes known in. The smallest request of the look-ahead
// and the hold time is kept (a sliding minimum), the release lets the gain recover
// exponentially towards 1 once the hold has passed, and a raised-cosine average over the last
// few sub-blocks (five at 48 kHz, six at 96 kHz: what the detector's delay leaves of the
// look-ahead) shapes the attack into an S-curve that ends in time. Between sub-blocks the gain
// moves linearly, sample by sample. A steady tone therefore gets a steady gain: the hold spans
// more than half a period of any tone down to 1000 / (2 * hold ms) Hz, so the gain does not ride
// the waveform.
#ifndef KOVRA_LIMITER_H
#define KOVRA_LIMITER_H

#include "engineconstants.h"
#include "enginesettings.h"
#include "slidingminimum.h"
#include "truepeakdetector.h"

#include <cstdint>

namespace kovra {

class Limiter {
public:
    static constexpr double kLookAheadMs = 2.0;

    // The delay the limiter adds at a sample rate, in frames: the same for every setting.
    static uint32_t LookAheadFrames(double sampleRate);

    void configure(const LimiterSettings& settings, double sampleRate);
    // Back to rest: unity gain and a silent look-ahead.
    void clearState();
    // Limits interleaved stereo frames in place; the output is the input delayed by
    // latencyFrames(), less the gain reduction.
    void process(float* interleavedStereo, uint32_t frames);
    uint32_t latencyFrames() const { return latencyFrames_; }
    // False only at rates so low (below 10 kHz) that the detector's delay would leave the attack
    // no time: there the limiter holds the samples alone.
    bool holdsTruePeaks() const { return detectTruePeaks_; }

private:
    static constexpr int kLookAheadSubBlocks = 8;
    static constexpr int kMaxAttackSteps = kLookAheadSubBlocks - 1;
    // Sub-blocks the detector reads back over at the lowest rate it runs at (10 kHz: 3 frames).
    static constexpr uint32_t kMaxGateSubBlocks = 16;
    // Frames; a power of two that holds the look-ahead, a sub-block and the detector's reach
    // back at the highest rate.
    static constexpr uint32_t kDelayCapacity = 1024;
    static_assert((kLookAheadSubBlocks + 1) *
                          (kMaxSampleRate * kLookAheadMs * 1e-3 / kLookAheadSubBlocks + 1) +
                      2 * TruePeakDetector::kFramesBefore <=
                  kDelayCapacity);
    // Sub-blocks. One lasts a quarter millisecond rounded to whole frames, which at the rates an
    // instance takes is never under a fifth of one, so this holds the longest hold and the
    // look-ahead.
    static constexpr uint32_t kHoldCapacity = 1024;
    static_assert(kMinSampleRate >= 8000);
    static_assert(kMaxLimiterHoldMs * 5 + kLookAheadSubBlocks + 2 <= kHoldCapacity);

    static uint32_t SubBlockFrames(double sampleRate);
    void storeAndMeasure(const float* frames, uint32_t frameCount);
    // Adds the true peak of the positions that the frames just stored complete.
    void measureBetweenSamples(uint32_t firstFrame, uint32_t frameCount);
    // Sends out the frames that leave as input frames firstFrame... arrive, on the current gain
    // ramp from its frame firstPosition.
    void emit(float* frames, uint32_t firstFrame, uint32_t frameCount, uint32_t firstPosition);
    void finishSubBlock();

    // Settings for the rate.
    float ceiling_ = 1.0f;
    float quietLevel_ = 0.0f; // samples at most this loud cannot have a true peak over the ceiling
    float releaseFactor_ = 0.0f; // share of the distance to unity gain kept per sub-block
    bool detectTruePeaks_ = true;
    int attackSteps_ = kMaxAttackSteps;
    float attackWeights_[kMaxAttackSteps] = {};
    uint32_t subBlockFrames_ = 1;
    float framesPerSubBlockInverse_ = 1.0f;
    uint32_t latencyFrames_ = 0;

    // State. The delay line is not cleared as a whole: clearState silences what is read before
    // it is written.
    float delay_[2 * 2 * kDelayCapacity]; // two copies of the delay line, one after the other
    uint32_t writeFrame_ = 0;             // where the next input frame goes in the delay line
    uint32_t filled_ = 0;                 // input frames of the sub-block being measured
    float subBlockPeak_ = 0.0f;           // its largest sample or true peak so far
    float sampleHistory_[kMaxGateSubBlocks] = {}; // the largest samples of recent sub-blocks
    float recentPeak_ = 0.0f;                     // the largest of those
    float samplePeak_ = 0.0f;                     // and of the one being measured
    uint32_t gateSubBlocks_ = 1;                  // those the detector's reach back can touch
    uint32_t historyNext_ = 0;                    // where the next one goes
    TruePeakCarry carry_; // the detector's, from one run of positions to the next
    SlidingMinimum<kHoldCapacity> heldRequest_;
    float reduction_ = 0.0f; // 1 - the envelope: the held request after release
    float recentEnvelopes_[kMaxAttackSteps] = {}; // oldest first
    int restingSubBlocks_ = 0;                    // envelopes at unity in a row
    float lastBoundary_ = 1.0f;                   // gain at the end of the sub-block being sent out
    float rampStart_ = 1.0f; // gain at the start of the sub-block being sent out
    float rampStep_ = 0.0f;  // and its change per frame
};

} // namespace kovra

#endif
