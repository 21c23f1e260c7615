#include "downmix.h"

#include <algorithm>
#include <cstring>
#include <xmmintrin.h>

namespace kovra {
namespace {

static_assert(kMaxInputChannels == 8, "a frame is mixed as two registers of four channels");

struct MixGains {
    __m128 left[2];
    __m128 right[2];
    // All ones for the channels with a gain in that output, zero for the others: a channel
    // that does not reach an output cannot spoil it, whatever it holds (0 times NaN or
    // infinity is NaN).
    __m128 leftUsed[2];
    __m128 rightUsed[2];
};

// NaN lands on 0 (it is unordered with itself), infinities and absurd levels on the limit.
inline __m128 MakeFinite(__m128 samples) {
    const __m128 limit = _mm_set1_ps(Downmix::kSampleLimit);
    samples = _mm_and_ps(samples, _mm_cmpord_ps(samples, samples));
    return _mm_min_ps(_mm_max_ps(samples, _mm_sub_ps(_mm_setzero_ps(), limit)), limit);
}

// One frame of up to eight channels, as channels 0-3 and 4-7, to left and right in the two low
// lanes of the result.
inline __m128 MixFrame(__m128 low, __m128 high, const MixGains& gains) {
    const __m128 left = _mm_add_ps(_mm_mul_ps(_mm_and_ps(low, gains.leftUsed[0]), gains.left[0]),
                                   _mm_mul_ps(_mm_and_ps(high, gains.leftUsed[1]), gains.left[1]));
    const __m128 right =
        _mm_add_ps(_mm_mul_ps(_mm_and_ps(low, gains.rightUsed[0]), gains.right[0]),
                   _mm_mul_ps(_mm_and_ps(high, gains.rightUsed[1]), gains.right[1]));
    // [l0 + l2, r0 + r2, l1 + l3, r1 + r3], then its two halves added.
    const __m128 pairs = _mm_add_ps(_mm_unpacklo_ps(left, right), _mm_unpackhi_ps(left, right));
    return _mm_add_ps(pairs, _mm_movehl_ps(pairs, pairs));
}

inline __m128 LoadTwo(const float* samples) {
    return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(samples)));
}

inline void StoreTwo(float* samples, __m128 values) {
    _mm_storel_pi(reinterpret_cast<__m64*>(samples), values);
}

template <int kChannels> inline __m128 MixFrameAt(const float* in, const MixGains& gains) {
    if constexpr (kChannels == 8) {
        return MixFrame(_mm_loadu_ps(in), _mm_loadu_ps(in + 4), gains);
    } else if constexpr (kChannels == 6) {
        return MixFrame(_mm_loadu_ps(in), LoadTwo(in + 4), gains);
    } else {
        return MixFrame(LoadTwo(in), _mm_setzero_ps(), gains);
    }
}

// Two frames at a time: the finished pair of stereo frames is made safe and stored at once.
// Both frames are read before their output is written, and frame f's stereo lands at 2f, never
// past input still to be read (channels * f): in-place use is safe.
template <int kChannels>
void MixFrames(const float* input, float* output, uint32_t frameCount, const MixGains& gains) {
    uint32_t frame = 0;
    for (; frame + 2 <= frameCount; frame += 2) {
        const float* in = input + static_cast<size_t>(frame) * kChannels;
        const __m128 first = MixFrameAt<kChannels>(in, gains);
        const __m128 second = MixFrameAt<kChannels>(in + kChannels, gains);
        _mm_storeu_ps(output + 2 * static_cast<size_t>(frame),
                      MakeFinite(_mm_movelh_ps(first, second)));
    }
    if (frame < frameCount) {
        const __m128 last =
            MixFrameAt<kChannels>(input + static_cast<size_t>(frame) * kChannels, gains);
        StoreTwo(output + 2 * static_cast<size_t>(frame), MakeFinite(last));
    }
}

} // namespace

Downmix::Downmix(const ConfigurationSettings& configuration)
    : channelCount_(std::clamp(configuration.channelCount, 1, kMaxInputChannels)) {
    for (int channel = 0; channel < kMaxInputChannels; ++channel) {
        const bool used = channel < channelCount_;
        left_[channel] = used ? configuration.left[channel] : 0.0f;
        right_[channel] = used ? configuration.right[channel] : 0.0f;
    }
    stereoIdentity_ = channelCount_ == 2 && left_[0] == 1.0f && left_[1] == 0.0f &&
                      right_[0] == 0.0f && right_[1] == 1.0f;
}

void Downmix::copyStereo(const float* input, float* output, uint32_t frameCount) const {
    if (input != output) {
        std::memmove(output, input, sizeof(float) * 2 * static_cast<size_t>(frameCount));
    }
}

void Downmix::mix(const float* input, float* output, uint32_t frameCount) const {
    MixGains gains;
    for (int half = 0; half < 2; ++half) {
        gains.left[half] = _mm_load_ps(left_ + 4 * half);
        gains.right[half] = _mm_load_ps(right_ + 4 * half);
        gains.leftUsed[half] = _mm_cmpneq_ps(gains.left[half], _mm_setzero_ps());
        gains.rightUsed[half] = _mm_cmpneq_ps(gains.right[half], _mm_setzero_ps());
    }
    // Every configuration has 2, 6 or 8 channels; a count it could not have reads no further than
    // stereo does.
    switch (channelCount_) {
    case 8:
        return MixFrames<8>(input, output, frameCount, gains);
    case 6:
        return MixFrames<6>(input, output, frameCount, gains);
    default:
        return MixFrames<2>(input, output, frameCount, gains);
    }
}

} // namespace kovra
