// The true-peak kernel for processors with AVX2 and FMA: four frames per 256-bit register, and
// fused multiply-adds. Built with those instructions enabled, so only this file may use them,
// and the engine calls it only after the processor has confirmed it has them. It includes
// nothing with code in it that other files also compile, so no inline function built for AVX2
// can stand in for another file's copy.
#include "truepeakscan.h"

#include <immintrin.h>

namespace kovra {
namespace {

struct Avx2FmaLanes {
    using Register = __m256;
    static constexpr int kFrames = 4;

    static Register Load(const float* values) { return _mm256_loadu_ps(values); }
    static Register Weight(const float (&weight)[4]) { return _mm256_broadcast_ss(weight); }
    static Register Zero() { return _mm256_setzero_ps(); }
    static Register Add(Register a, Register b) { return _mm256_add_ps(a, b); }
    static Register Sub(Register a, Register b) { return _mm256_sub_ps(a, b); }
    static Register MulAdd(Register a, Register b, Register c) { return _mm256_fmadd_ps(a, b, c); }
    static Register Max(Register a, Register b) { return _mm256_max_ps(a, b); }
    static Register Magnitude(Register a) {
        return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    }
    static Register Scale(Register a, float factor) {
        return _mm256_mul_ps(a, _mm256_set1_ps(factor));
    }
    // [last frame 3, current frames 0 to 2]: the middle two frames across the halves, then each
    // half's upper frame with the current one's lower.
    static Register OneFrameEarlier(Register last, Register current) {
        const Register middle = _mm256_permute2f128_ps(last, current, 0x21);
        return _mm256_shuffle_ps(middle, current, _MM_SHUFFLE(1, 0, 3, 2));
    }
    static Register LoadBefore(const float (&points)[8]) { return _mm256_loadu_ps(points); }
    static void StoreBefore(float (&points)[8], Register, Register last) {
        _mm256_storeu_ps(points, last);
    }
    static float Largest(Register a) {
        __m128 half = _mm_max_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));
        half = _mm_max_ps(half, _mm_shuffle_ps(half, half, _MM_SHUFFLE(1, 0, 3, 2)));
        half = _mm_max_ps(half, _mm_shuffle_ps(half, half, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(half);
    }
};

} // namespace

float ScanTruePeakAvx2Fma(const TruePeakWeights& weights, const float* frames, uint32_t count,
                          TruePeakCarry& carry) {
    return TruePeakScan<Avx2FmaLanes>(weights).run(frames, count, carry);
}

} // namespace kovra
