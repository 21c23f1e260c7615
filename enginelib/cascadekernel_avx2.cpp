// The cascade kernel for processors with AVX2 and FMA: two consecutive sections per 256-bit
// register (section s in the low half, s + 1 in the high half, each with left and right), and
// fused multiply-adds. Built with those instructions enabled, so only this file may use them,
// and the engine calls it only after the processor has confirmed it has them. It includes
// nothing that other files also compile, so no inline function built for AVX2 can stand in for
// another file's copy.
#include "skewedcascade.h"

#include <immintrin.h>

namespace kovra {
namespace {

struct Avx2FmaLanes {
    using Register = __m256d;
    static constexpr int kSectionsPerRegister = 2;

    static Register Load(const double* values) { return _mm256_loadu_pd(values); }
    static void Store(double* values, Register value) { _mm256_storeu_pd(values, value); }
    static Register Zero() { return _mm256_setzero_pd(); }
    static Register MulAdd(Register a, Register b, Register c) { return _mm256_fmadd_pd(a, b, c); }
    static Register NegMulAdd(Register a, Register b, Register c) {
        return _mm256_fnmadd_pd(a, b, c);
    }
    static Register Mul(Register a, Register b) { return _mm256_mul_pd(a, b); }
    // The new frame enters the low section; the high one takes the low one's last output.
    static Register FirstInput(__m128d frame, Register firstOutput) {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(frame),
                                    _mm256_castpd256_pd128(firstOutput), 1);
    }
    // Low section: the previous register's high section; high section: this register's low.
    static Register ChainInput(Register previous, Register current) {
        return _mm256_permute2f128_pd(previous, current, 0x21);
    }
    static __m128d LastOutput(Register output) { return _mm256_extractf128_pd(output, 1); }
    static Register Keep(Register updated, Register old, unsigned running) {
        switch (running) {
        case 1:
            return _mm256_blend_pd(old, updated, 0x3);
        case 2:
            return _mm256_blend_pd(old, updated, 0xC);
        case 3:
            return updated;
        default:
            return old;
        }
    }
};

} // namespace

void RunCascadeAvx2Fma(CascadeData& data, float* frames, uint32_t frameCount) {
    RunSkewedCascade<Avx2FmaLanes, kMaxCascadeSections / 2>(data, frames, frameCount);
}

} // namespace kovra
