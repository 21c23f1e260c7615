// The cascade kernel, written once for any register width. Each instruction-set source file
// includes it after defining its lane type, so each gets a private copy compiled for its own
// instructions (the anonymous namespace keeps the copies apart at link time).
//
// One section's recursion takes about eight cycles per sample, so sections run one after the
// other per sample leave the processor idle. Here section s works on sample t - s at step t: in
// one step every section takes its input from what the section before it produced one step
// earlier, and no section waits on another. The arithmetic per sample is exactly the sequential
// cascade's; only the order of the steps changes, and the skew is filled and drained inside each
// block, so nothing is delayed.
//
// A lane type Lanes supplies:
//   Register, kSectionsPerRegister (1 or 2)
//   Load(const double*), Store(double*, Register), Zero()
//   MulAdd(a, b, c) = a * b + c, NegMulAdd(a, b, c) = c - a * b, Mul(a, b)
//   FirstInput(__m128d frame, Register firstOutput)   input of the first register's sections
//   ChainInput(Register previous, Register current)   input of a later register's sections
//   LastOutput(Register)                               the last section's output frame
//   Keep(Register updated, Register old, unsigned running)  updated where bit k of running
//                                                           says section k of the register runs
#ifndef KOVRA_SKEWEDCASCADE_H
#define KOVRA_SKEWEDCASCADE_H

#include "cascadedata.h"

#include <emmintrin.h>

namespace kovra {
namespace {

inline __m128d LoadFrame(const float* frame) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(frame))));
}

inline void StoreFrame(float* frame, __m128d value) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(frame), _mm_castps_si128(_mm_cvtpd_ps(value)));
}

template <class Lanes, int kRegisters> class SkewedCascade {
public:
    using Register = typename Lanes::Register;
    static constexpr int kSections = kRegisters * Lanes::kSectionsPerRegister;
    static constexpr int64_t kLag = kSections - 1; // steps between a sample's entry and its exit

    explicit SkewedCascade(const CascadeData& data) {
        for (int r = 0; r < kRegisters; ++r) {
            const int section = r * Lanes::kSectionsPerRegister;
            for (int c = 0; c < kCoefficientCount; ++c) {
                coefficients_[c][r] = Lanes::Load(data.coefficients[c][section]);
            }
            z1_[r] = Lanes::Load(data.z1[section]);
            z2_[r] = Lanes::Load(data.z2[section]);
            output_[r] = Lanes::Zero();
        }
    }

    void save(CascadeData& data) const {
        for (int r = 0; r < kRegisters; ++r) {
            Lanes::Store(data.z1[r * Lanes::kSectionsPerRegister], z1_[r]);
            Lanes::Store(data.z2[r * Lanes::kSectionsPerRegister], z2_[r]);
        }
    }

    void run(float* frames, int64_t frameCount) {
        int64_t step = 0;
        // Filling: the later sections have no sample yet. Draining: the earlier ones are done.
        for (; step < kLag && step < frameCount + kLag; ++step) {
            edgeStep(frames, frameCount, step);
        }
        for (; step < frameCount; ++step) {
            fullStep(frames, step);
        }
        for (; step < frameCount + kLag; ++step) {
            edgeStep(frames, frameCount, step);
        }
    }

private:
    // Every section has a sample: the hot loop.
    void fullStep(float* frames, int64_t step) {
        Register input[kRegisters];
        gatherInputs(LoadFrame(frames + 2 * step), input);
#pragma GCC unroll 8
        for (int r = 0; r < kRegisters; ++r) {
            Register z1, z2;
            output_[r] = tick(r, input[r], z1, z2);
            z1_[r] = z1;
            z2_[r] = z2;
        }
        StoreFrame(frames + 2 * (step - kLag), Lanes::LastOutput(output_[kRegisters - 1]));
    }

    // Some sections have no sample at this step: their memories stay as they are. What they
    // compute anyway only reaches sections that have no sample either.
    void edgeStep(float* frames, int64_t frameCount, int64_t step) {
        Register input[kRegisters];
        gatherInputs(step < frameCount ? LoadFrame(frames + 2 * step) : _mm_setzero_pd(), input);
#pragma GCC unroll 8
        for (int r = 0; r < kRegisters; ++r) {
            unsigned running = 0;
            for (int k = 0; k < Lanes::kSectionsPerRegister; ++k) {
                const int64_t sample = step - (r * Lanes::kSectionsPerRegister + k);
                running |= (sample >= 0 && sample < frameCount) ? 1u << k : 0u;
            }
            Register z1, z2;
            output_[r] = tick(r, input[r], z1, z2);
            z1_[r] = Lanes::Keep(z1, z1_[r], running);
            z2_[r] = Lanes::Keep(z2, z2_[r], running);
        }
        const int64_t leaving = step - kLag;
        if (leaving >= 0 && leaving < frameCount) {
            StoreFrame(frames + 2 * leaving, Lanes::LastOutput(output_[kRegisters - 1]));
        }
    }

    // Each section's input is what the section before it put out one step earlier.
    void gatherInputs(__m128d frame, Register (&input)[kRegisters]) const {
        input[0] = Lanes::FirstInput(frame, output_[0]);
#pragma GCC unroll 8
        for (int r = 1; r < kRegisters; ++r) {
            input[r] = Lanes::ChainInput(output_[r - 1], output_[r]);
        }
    }

    // Transposed direct form II: y = b0 x + z1; z1' = b1 x - a1 y + z2; z2' = b2 x - a2 y.
    Register tick(int r, Register x, Register& z1, Register& z2) const {
        const Register y = Lanes::MulAdd(coefficients_[kB0][r], x, z1_[r]);
        z1 = Lanes::NegMulAdd(coefficients_[kA1][r], y,
                              Lanes::MulAdd(coefficients_[kB1][r], x, z2_[r]));
        z2 = Lanes::NegMulAdd(coefficients_[kA2][r], y, Lanes::Mul(coefficients_[kB2][r], x));
        return y;
    }

    Register coefficients_[kCoefficientCount][kRegisters];
    Register z1_[kRegisters];
    Register z2_[kRegisters];
    Register output_[kRegisters]; // each register's output of the last step
};

template <class Lanes, int kRegisters>
void RunSkewed(CascadeData& data, float* frames, uint32_t frameCount) {
    SkewedCascade<Lanes, kRegisters> cascade(data);
    cascade.run(frames, frameCount);
    cascade.save(data);
}

// Runs data's sections, rounded up to whole registers (the padding passes its input through).
template <class Lanes, int kMaxRegisters>
void RunSkewedCascade(CascadeData& data, float* frames, uint32_t frameCount) {
    const int registers =
        (data.sectionCount + Lanes::kSectionsPerRegister - 1) / Lanes::kSectionsPerRegister;
    switch (registers) {
    case 0:
        return;
    case 1:
        return RunSkewed<Lanes, 1>(data, frames, frameCount);
    case 2:
        return RunSkewed<Lanes, 2>(data, frames, frameCount);
    case 3:
        return RunSkewed<Lanes, 3>(data, frames, frameCount);
    case 4:
        return RunSkewed<Lanes, 4>(data, frames, frameCount);
    }
    if constexpr (kMaxRegisters > 4) {
        switch (registers) {
        case 5:
            return RunSkewed<Lanes, 5>(data, frames, frameCount);
        case 6:
            return RunSkewed<Lanes, 6>(data, frames, frameCount);
        case 7:
            return RunSkewed<Lanes, 7>(data, frames, frameCount);
        case 8:
            return RunSkewed<Lanes, 8>(data, frames, frameCount);
        }
    }
}

} // namespace
} // namespace kovra

#endif
