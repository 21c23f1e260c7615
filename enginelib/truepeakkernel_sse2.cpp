// The true-peak kernel for SSE2, which every x86-64 processor has: two frames per register.
#include "ssehelpers.h"
#include "truepeakscan.h"

namespace kovra {
namespace {

struct Sse2Lanes {
    using Register = __m128;
    static constexpr int kFrames = 2;

    static Register Load(const float* values) { return _mm_loadu_ps(values); }
    static Register Weight(const float (&weight)[4]) { return _mm_load_ps(weight); }
    static Register Zero() { return _mm_setzero_ps(); }
    static Register Add(Register a, Register b) { return _mm_add_ps(a, b); }
    static Register Sub(Register a, Register b) { return _mm_sub_ps(a, b); }
    static Register MulAdd(Register a, Register b, Register c) {
        return _mm_add_ps(_mm_mul_ps(a, b), c);
    }
    static Register Max(Register a, Register b) { return _mm_max_ps(a, b); }
    static Register Magnitude(Register a) { return kovra::Magnitude(a); }
    static Register Scale(Register a, float factor) { return _mm_mul_ps(a, _mm_set1_ps(factor)); }
    // [last frame 1, current frame 0]
    static Register OneFrameEarlier(Register last, Register current) {
        return _mm_shuffle_ps(last, current, _MM_SHUFFLE(1, 0, 3, 2));
    }
    static Register LoadBefore(const float (&points)[8]) { return _mm_loadu_ps(points + 4); }
    static void StoreBefore(float (&points)[8], Register previous, Register last) {
        _mm_storeu_ps(points, previous);
        _mm_storeu_ps(points + 4, last);
    }
    static float Largest(Register a) { return LargestLane(a); }
};

} // namespace

float ScanTruePeakSse2(const TruePeakWeights& weights, const float* frames, uint32_t count,
                       TruePeakCarry& carry) {
    return TruePeakScan<Sse2Lanes>(weights).run(frames, count, carry);
}

} // namespace kovra
