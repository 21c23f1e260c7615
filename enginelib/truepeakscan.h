// The true-peak kernel, written once for any register width. Each instruction-set source file
// includes it after defining its lane type, so each gets a private copy compiled for its own
// instructions (the anonymous namespace keeps the copies apart at link time).
//
// A register holds kFrames whole frames of interleaved stereo, so one step works out the four
// points of kFrames positions for both channels at once. A lane type Lanes supplies:
//   Register, kFrames (2 or 4)
//   Load(const float*), Weight(const float (&)[4]) (the weight in every lane), Zero()
//   Add, Sub, MulAdd(a, b, c) = a * b + c, Max, Magnitude, Scale(register, factor)
//   OneFrameEarlier(last, current): each lane's frame the one before it, from `last` for the first
//   LoadBefore(const float (&)[8]), StoreBefore(float (&)[8], Register previous, Register last):
//   the carry's three-quarter points of the last four positions (TruePeakCarry)
//   Largest(Register): the largest lane
#ifndef KOVRA_TRUEPEAKSCAN_H
#define KOVRA_TRUEPEAKSCAN_H

#include "truepeakweights.h"

namespace kovra {
namespace {

template <class Lanes> class TruePeakScan {
public:
    using Register = typename Lanes::Register;
    static constexpr int kHalfTaps = TruePeakWeights::kHalfTaps;
    static constexpr int64_t kFrames = Lanes::kFrames;

    explicit TruePeakScan(const TruePeakWeights& weights) : weights_(weights) {}

    float run(const float* frames, uint32_t count, TruePeakCarry& carry) {
        const int64_t whole = count - count % kFrames;
        Register peaks = Lanes::Zero();
        Register previous =
            carry.known ? Lanes::LoadBefore(carry.threeQuarters) : earlierPoints(frames);
        Register last = previous;
        for (int64_t frame = 0; frame < whole; frame += kFrames) {
            previous = last;
            peaks = Lanes::Max(peaks, step(frames + 2 * frame, last));
        }
        if (whole < count) {
            // The last positions with the ones before them, which count twice and change nothing.
            const float* tail = frames + 2 * (static_cast<int64_t>(count) - kFrames);
            previous = earlierPoints(tail);
            last = previous;
            peaks = Lanes::Max(peaks, step(tail, last));
        }
        Lanes::StoreBefore(carry.threeQuarters, previous, last);
        carry.known = true;
        return Lanes::Largest(peaks);
    }

private:
    // |value| + |after - before| / 8: at a top, no less than the top of the parabola through the
    // three points.
    static Register Estimate(Register earlier, Register value, Register later) {
        return Lanes::Add(Lanes::Magnitude(value),
                          Lanes::Scale(Lanes::Magnitude(Lanes::Sub(later, earlier)), 0.125f));
    }

    // The three-quarter points of the kFrames positions before `frames`.
    Register earlierPoints(const float* frames) {
        Register points = Lanes::Zero();
        step(frames - 2 * kFrames, points);
        return points;
    }

    // The largest estimate at the kFrames positions at `frames`; `threeQuarters` holds the
    // three-quarter points of the positions before them and becomes theirs.
    Register step(const float* frames, Register& threeQuarters) {
        const float* first = frames - 2 * (kHalfTaps - 1); // tap 0
        const float* last = frames + 2 * kHalfTaps;        // tap kTaps - 1
        Register half = Lanes::Zero();
        Register even = Lanes::Zero();
        Register odd = Lanes::Zero();
#pragma GCC unroll 12
        for (int tap = 0; tap < kHalfTaps; ++tap) {
            const Register low = Lanes::Load(first + 2 * tap);
            const Register high = Lanes::Load(last - 2 * tap);
            const Register sum = Lanes::Add(low, high);
            const Register difference = Lanes::Sub(low, high);
            half = Lanes::MulAdd(Lanes::Weight(weights_.half[tap]), sum, half);
            even = Lanes::MulAdd(Lanes::Weight(weights_.even[tap]), sum, even);
            odd = Lanes::MulAdd(Lanes::Weight(weights_.odd[tap]), difference, odd);
        }
        const Register quarter = Lanes::Add(even, odd);
        const Register threeQuarter = Lanes::Sub(even, odd);
        const Register samples = Lanes::Load(frames);
        const Register nextSamples = Lanes::Load(frames + 2);
        const Register before = Lanes::OneFrameEarlier(threeQuarters, threeQuarter);
        threeQuarters = threeQuarter;
        return Lanes::Max(
            Lanes::Max(Estimate(before, samples, quarter), Estimate(samples, quarter, half)),
            Lanes::Max(Estimate(quarter, half, threeQuarter),
                       Estimate(half, threeQuarter, nextSamples)));
    }

    const TruePeakWeights& weights_;
};

} // namespace
} // namespace kovra

#endif
