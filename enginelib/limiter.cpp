#include "limiter.h"

#include "ssehelpers.h"

#include <algorithm>
#include <cmath>

namespace kovra {
namespace {

// Within this of unity the release ends at exactly 1, so that the signal passes bit for bit again.
constexpr float kUnitySnap = 1e-6f;

double ClampedRate(double sampleRate) {
    return std::clamp(sampleRate, static_cast<double>(kMinSampleRate),
                      static_cast<double>(kMaxSampleRate));
}

// Copies `count` samples to two places and returns their largest magnitude, or `peak` if that
// is larger. A NaN counts as nothing.
float CopyAndMeasure(const float* samples, float* copy, float* secondCopy, size_t count,
                     float peak) {
    __m128 peaks = _mm_set1_ps(peak);
    size_t index = 0;
    for (; index + 4 <= count; index += 4) {
        const __m128 values = _mm_loadu_ps(samples + index);
        _mm_storeu_ps(copy + index, values);
        _mm_storeu_ps(secondCopy + index, values);
        peaks = _mm_max_ps(Magnitude(values), peaks);
    }
    for (; index < count; ++index) {
        const __m128 value = _mm_load_ss(samples + index);
        _mm_store_ss(copy + index, value);
        _mm_store_ss(secondCopy + index, value);
        peaks = _mm_max_ps(Magnitude(value), peaks); // the other lanes hold 0
    }
    return LargestLane(peaks);
}

// out = in * (start + step * (firstPosition + frame)), held within [-ceiling, ceiling] (a NaN
// lands on the ceiling), for interleaved stereo frames.
void ApplyGainRamp(const float* in, float* out, uint32_t frames, float start, float step,
                   uint32_t firstPosition, float ceiling) {
    const __m128 high = _mm_set1_ps(ceiling);
    const __m128 low = _mm_set1_ps(-ceiling);
    // Two frames per step: gains [g0 g0 g1 g1], each worked out from its position, so that a
    // frame gets the same gain however the stream is cut into calls.
    const __m128 starts = _mm_set1_ps(start);
    const __m128 steps = _mm_set1_ps(step);
    const auto first = static_cast<float>(firstPosition);
    __m128 positions = _mm_setr_ps(first, first, first + 1.0f, first + 1.0f);
    const __m128 two = _mm_set1_ps(2.0f);
    uint32_t frame = 0;
    for (; frame + 2 <= frames; frame += 2) {
        const __m128 gains = _mm_add_ps(starts, _mm_mul_ps(steps, positions));
        const __m128 product = _mm_mul_ps(_mm_loadu_ps(in + 2 * frame), gains);
        _mm_storeu_ps(out + 2 * frame, _mm_max_ps(_mm_min_ps(product, high), low));
        positions = _mm_add_ps(positions, two);
    }
    if (frame < frames) {
        const __m128 pair =
            _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(in + 2 * frame)));
        const __m128 gains = _mm_add_ps(starts, _mm_mul_ps(steps, positions));
        const __m128 product = _mm_mul_ps(pair, gains);
        _mm_store_sd(reinterpret_cast<double*>(out + 2 * frame),
                     _mm_castps_pd(_mm_max_ps(_mm_min_ps(product, high), low)));
    }
}

} // namespace

uint32_t Limiter::SubBlockFrames(double sampleRate) {
    const double frames =
        ClampedRate(sampleRate) * kLookAheadMs * 1e-3 / static_cast<double>(kLookAheadSubBlocks);
    return std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(frames)));
}

// Eight sub-blocks: a sub-block goes out as the eighth after it comes in, so its gain can ramp
// towards what the sub-blocks after it ask for.
uint32_t Limiter::LookAheadFrames(double sampleRate) {
    return kLookAheadSubBlocks * SubBlockFrames(sampleRate);
}

void Limiter::configure(const LimiterSettings& settings, double sampleRate) {
    const double rate = ClampedRate(sampleRate);
    ceiling_ = static_cast<float>(std::pow(10.0, std::min(settings.ceilingDb, 0.0) / 20.0));
    quietLevel_ = ceiling_ / TruePeakDetector::Gain();
    subBlockFrames_ = SubBlockFrames(rate);
    latencyFrames_ = LookAheadFrames(rate);
    framesPerSubBlockInverse_ = 1.0f / static_cast<float>(subBlockFrames_);
    const double releaseFrames = std::max(settings.releaseMs, 0.01) * 1e-3 * rate;
    releaseFactor_ =
        static_cast<float>(std::exp(-static_cast<double>(subBlockFrames_) / releaseFrames));
    const double holdFrames = std::clamp(settings.holdMs, 0.0, kMaxLimiterHoldMs) * 1e-3 * rate;
    const auto holdSubBlocks = static_cast<uint32_t>(std::ceil(holdFrames / subBlockFrames_));
    // The gain at the end of an outgoing sub-block is the average of the last envelopes, each of
    // which must already hold the requests of both sub-blocks beside that boundary. A true peak
    // counts for the sub-block it becomes known in, kFramesAfter frames after the frame it
    // follows; and since an estimate reaches a little before its frame, the frame before that
    // one's gain shapes it too. Those frames lie up to `lag` sub-blocks back, so the attack has
    // the sub-blocks that the look-ahead leaves after that lag.
    const auto lag = static_cast<int>((TruePeakDetector::kFramesAfter + 1 + subBlockFrames_ - 1) /
                                      subBlockFrames_);
    attackSteps_ = kMaxAttackSteps - lag;
    detectTruePeaks_ = attackSteps_ >= 2;
    if (!detectTruePeaks_) {
        attackSteps_ = kMaxAttackSteps; // samples alone: each counts for its own sub-block
    }
    const uint32_t reach = TruePeakDetector::kFramesAfter + TruePeakDetector::kFramesBefore;
    gateSubBlocks_ = std::min(kMaxGateSubBlocks, (reach + subBlockFrames_ - 1) / subBlockFrames_);
    // The window reaches back over the look-ahead (so that the gain stays down until the peak
    // has gone out) and the hold.
    heldRequest_.setWindow(kLookAheadSubBlocks + holdSubBlocks);
    // Raised-cosine weights that sum to 1: the attack's S-curve. Any weights that are positive
    // and sum to 1 keep the gain at or below every request they average.
    double weights[kMaxAttackSteps] = {};
    double sum = 0.0;
    for (int step = 0; step < attackSteps_; ++step) {
        const double s = std::sin(kPi * (step + 1) / (attackSteps_ + 1));
        weights[step] = s * s;
        sum += s * s;
    }
    for (int step = 0; step < kMaxAttackSteps; ++step) {
        attackWeights_[step] = static_cast<float>(weights[step] / sum);
    }
    clearState();
}

void Limiter::clearState() {
    // The first frames out come from the look-ahead's worth before the start of the line, and
    // the detector reads a little before what it measures: both must find silence. Every other
    // frame is written before it is read.
    const uint32_t silent = std::max(latencyFrames_, 2 * TruePeakDetector::kFramesBefore);
    std::fill(delay_ + 2 * (kDelayCapacity - silent), delay_ + 2 * kDelayCapacity, 0.0f);
    writeFrame_ = 0;
    filled_ = 0;
    subBlockPeak_ = 0.0f;
    samplePeak_ = 0.0f;
    std::fill(std::begin(sampleHistory_), std::end(sampleHistory_), 0.0f);
    recentPeak_ = 0.0f;
    historyNext_ = 0;
    carry_.known = false;
    heldRequest_.clear();
    reduction_ = 0.0f;
    restingSubBlocks_ = attackSteps_;
    std::fill(std::begin(recentEnvelopes_), std::end(recentEnvelopes_), 1.0f);
    lastBoundary_ = 1.0f;
    rampStart_ = 1.0f;
    rampStep_ = 0.0f;
}

void Limiter::process(float* interleavedStereo, uint32_t frames) {
    // Input goes into the delay line a sub-block at a time; output sub-blocks run in step with
    // the input's, each on the gain ramp that the last completed input sub-block decided.
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t span = std::min(frames - done, subBlockFrames_ - filled_);
        float* block = interleavedStereo + 2 * static_cast<size_t>(done);
        const uint32_t firstFrame = writeFrame_;
        storeAndMeasure(block, span);
        if (detectTruePeaks_) {
            measureBetweenSamples(firstFrame, span);
        }
        emit(block, firstFrame, span, filled_);
        filled_ += span;
        if (filled_ == subBlockFrames_) {
            finishSubBlock();
            filled_ = 0;
        }
        done += span;
    }
}

void Limiter::storeAndMeasure(const float* frames, uint32_t frameCount) {
    // Every frame is kept twice, a capacity apart, so that any run of frames reads in one piece.
    const uint32_t start = writeFrame_ & (kDelayCapacity - 1);
    const uint32_t first = std::min(frameCount, kDelayCapacity - start);
    float* copy = delay_ + 2 * start;
    samplePeak_ = CopyAndMeasure(frames, copy, copy + 2 * kDelayCapacity, 2 * first, samplePeak_);
    if (first < frameCount) {
        samplePeak_ = CopyAndMeasure(frames + 2 * first, delay_, delay_ + 2 * kDelayCapacity,
                                     2 * (frameCount - first), samplePeak_);
    }
    writeFrame_ += frameCount;
}

void Limiter::measureBetweenSamples(uint32_t firstFrame, uint32_t frameCount) {
    // Quiet enough that no estimate could ask for less than unity: nothing to work out, and the
    // next run of positions starts afresh. What the estimates read lies in this sub-block and
    // the few before it, whose largest samples are known.
    if (std::max(samplePeak_, recentPeak_) <= quietLevel_) {
        carry_.known = false;
        return;
    }
    // The positions these frames complete lie kFramesAfter frames back; what their estimates
    // read starts kFramesBefore frames further back. The double delay line holds it in one run.
    const uint32_t reach = TruePeakDetector::kFramesAfter + TruePeakDetector::kFramesBefore;
    const float* run = delay_ + 2 * ((firstFrame - reach) & (kDelayCapacity - 1));
    subBlockPeak_ =
        std::max(subBlockPeak_, TruePeakDetector::Peak(run + 2 * TruePeakDetector::kFramesBefore,
                                                       frameCount, carry_));
}

void Limiter::emit(float* frames, uint32_t firstFrame, uint32_t frameCount,
                   uint32_t firstPosition) {
    // Output frame n is input frame n - latency, from the delay line.
    const uint32_t firstRead = (firstFrame - latencyFrames_) & (kDelayCapacity - 1);
    ApplyGainRamp(delay_ + 2 * firstRead, frames, frameCount, rampStart_, rampStep_, firstPosition,
                  ceiling_);
}

void Limiter::finishSubBlock() {
    // The gain this sub-block's peak asks for.
    const float peak = std::max(subBlockPeak_, samplePeak_);
    const float request = peak > ceiling_ ? ceiling_ / peak : 1.0f;
    subBlockPeak_ = 0.0f;
    if (detectTruePeaks_) {
        sampleHistory_[historyNext_] = samplePeak_;
        historyNext_ = historyNext_ + 1 == gateSubBlocks_ ? 0 : historyNext_ + 1;
        recentPeak_ = *std::max_element(sampleHistory_, sampleHistory_ + gateSubBlocks_);
    }
    samplePeak_ = 0.0f;
    if (request == 1.0f && restingSubBlocks_ >= attackSteps_) {
        // At rest, nothing in the window asks for less than unity, so nothing changes.
        rampStart_ = 1.0f;
        rampStep_ = 0.0f;
        return;
    }
    const float held = heldRequest_.push(request);
    // The release shrinks the gain's distance to unity. That distance is the state, not the gain:
    // near unity a gain recovering in float would stall a few steps short of 1.
    reduction_ *= releaseFactor_;
    reduction_ = reduction_ < kUnitySnap ? 0.0f : reduction_;
    if (held < 1.0f - reduction_) {
        reduction_ = 1.0f - held;
    }
    const float envelope = std::min(held, 1.0f - reduction_);
    restingSubBlocks_ = envelope == 1.0f ? std::min(restingSubBlocks_ + 1, attackSteps_) : 0;
    // The weighted average of the last envelopes is the gain at the end of the sub-block that
    // went in eight sub-blocks ago, which goes out next: it ramps from the last boundary to this
    // one. Envelopes at unity all through give exactly unity, whatever the weights' rounding.
    float boundary = attackWeights_[attackSteps_ - 1] * envelope;
    for (int step = 0; step + 1 < attackSteps_; ++step) {
        recentEnvelopes_[step] = recentEnvelopes_[step + 1];
        boundary += attackWeights_[step] * recentEnvelopes_[step];
    }
    recentEnvelopes_[attackSteps_ - 1] = envelope;
    boundary = restingSubBlocks_ >= attackSteps_ ? 1.0f : std::min(boundary, 1.0f);
    rampStart_ = lastBoundary_;
    rampStep_ = (boundary - lastBoundary_) * framesPerSubBlockInverse_;
    lastBoundary_ = boundary;
}

} // namespace kovra
