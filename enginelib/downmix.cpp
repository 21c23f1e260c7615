#include "downmix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kovra {
namespace {

constexpr float kSpeck = 1e-15f; // about -300 dBFS, well above the denormal range

// NaN compares false both ways, so it lands on 0; infinities land on the limit.
inline float MakeFinite(float sample) {
    return sample == sample ? std::clamp(sample, -Downmix::kSampleLimit, Downmix::kSampleLimit)
                            : 0.0f;
}

inline float FlushSpeck(float sample) {
    return std::fabs(sample) < kSpeck ? 0.0f : sample;
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

template <int kChannels>
void Downmix::mixChannels(const float* input, float* output, uint32_t frameCount) const {
    // Ascending order keeps in-place use safe: frame f is written at 2f, never past the input
    // already read (channels * f).
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        const float* in = input + static_cast<size_t>(frame) * kChannels;
        float left = 0.0f;
        float right = 0.0f;
        for (int channel = 0; channel < kChannels; ++channel) {
            const float sample = MakeFinite(in[channel]);
            left += left_[channel] * sample;
            right += right_[channel] * sample;
        }
        output[2 * static_cast<size_t>(frame)] = FlushSpeck(left);
        output[2 * static_cast<size_t>(frame) + 1] = FlushSpeck(right);
    }
}

void Downmix::mix(const float* input, float* output, uint32_t frameCount) const {
    // A fixed channel count lets the compiler unroll the inner sum for the usual layouts.
    switch (channelCount_) {
    case 2:
        return mixChannels<2>(input, output, frameCount);
    case 6:
        return mixChannels<6>(input, output, frameCount);
    case 8:
        return mixChannels<8>(input, output, frameCount);
    default:
        return mixAnyChannels(input, output, frameCount);
    }
}

void Downmix::mixAnyChannels(const float* input, float* output, uint32_t frameCount) const {
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        const float* in = input + static_cast<size_t>(frame) * channelCount_;
        float left = 0.0f;
        float right = 0.0f;
        for (int channel = 0; channel < channelCount_; ++channel) {
            const float sample = MakeFinite(in[channel]);
            left += left_[channel] * sample;
            right += right_[channel] * sample;
        }
        output[2 * static_cast<size_t>(frame)] = FlushSpeck(left);
        output[2 * static_cast<size_t>(frame) + 1] = FlushSpeck(right);
    }
}

} // namespace kovra
