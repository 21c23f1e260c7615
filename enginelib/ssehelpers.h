// Small SSE steps that several of the engine's kernels share.
#ifndef KOVRA_SSEHELPERS_H
#define KOVRA_SSEHELPERS_H

#include <emmintrin.h> // SSE2, always present on x86-64

namespace kovra {

// |values|, lane by lane; the sign bit cleared, so a NaN stays a NaN.
inline __m128 Magnitude(__m128 values) {
    return _mm_and_ps(values, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}

// The largest of the four lanes.
inline float LargestLane(__m128 values) {
    values = _mm_max_ps(values, _mm_shuffle_ps(values, values, _MM_SHUFFLE(1, 0, 3, 2)));
    values = _mm_max_ps(values, _mm_shuffle_ps(values, values, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtss_f32(values);
}

} // namespace kovra

#endif
