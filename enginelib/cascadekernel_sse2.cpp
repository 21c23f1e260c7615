// The cascade kernel for SSE2, which every x86-64 processor has: one section per register, its
// left and right channels side by side.
#include "skewedcascade.h"

namespace kovra {
namespace {

struct Sse2Lanes {
    using Register = __m128d;
    static constexpr int kSectionsPerRegister = 1;

    static Register Load(const double* values) { return _mm_loadu_pd(values); }
    static void Store(double* values, Register value) { _mm_storeu_pd(values, value); }
    static Register Zero() { return _mm_setzero_pd(); }
    static Register MulAdd(Register a, Register b, Register c) {
        return _mm_add_pd(_mm_mul_pd(a, b), c);
    }
    static Register NegMulAdd(Register a, Register b, Register c) {
        return _mm_sub_pd(c, _mm_mul_pd(a, b));
    }
    static Register Mul(Register a, Register b) { return _mm_mul_pd(a, b); }
    static Register FirstInput(__m128d frame, Register) { return frame; }
    static Register ChainInput(Register previous, Register) { return previous; }
    static __m128d LastOutput(Register output) { return output; }
    static Register Keep(Register updated, Register old, unsigned running) {
        return running != 0 ? updated : old;
    }
};

} // namespace

void RunCascadeSse2(CascadeData& data, float* frames, uint32_t frameCount) {
    RunSkewedCascade<Sse2Lanes, kMaxCascadeSections>(data, frames, frameCount);
}

} // namespace kovra
