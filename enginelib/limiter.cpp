#include "limiter.h"

#include <algorithm>
#include <cmath>

namespace kovra {
namespace {
constexpr float kSnapDistance = 1e-6f;
}

void Limiter::configure(const LimiterSettings& settings, double sampleRate) {
    const double ceilingDb = std::min(settings.thresholdDb, 0.0);
    ceiling_ = std::min(1.0f, static_cast<float>(std::pow(10.0, ceilingDb / 20.0)));
    const double releaseFrames = std::max(settings.releaseMs, 0.01) * 1e-3 * sampleRate;
    releaseFactor_ = static_cast<float>(std::exp(-1.0 / releaseFrames));
    gain_ = 1.0f;
}

void Limiter::process(float* frames, uint32_t frameCount) {
    float gain = gain_;
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        float& left = frames[2 * frame];
        float& right = frames[2 * frame + 1];
        const float peak = std::max(std::fabs(left), std::fabs(right));
        if (gain == 1.0f && peak <= ceiling_) {
            continue; // at rest and under the ceiling: the sample leaves as it came
        }
        const float target = peak > ceiling_ ? ceiling_ / peak : 1.0f;
        // The gain never exceeds its target, so the peak never exceeds the ceiling. Rounding
        // would stall the recovery one step short of the target; it is snapped there instead.
        gain = target < gain ? target : target + (gain - target) * releaseFactor_;
        gain = target - gain < kSnapDistance ? target : gain;
        left = std::clamp(left * gain, -1.0f, 1.0f);
        right = std::clamp(right * gain, -1.0f, 1.0f);
    }
    gain_ = gain;
}

} // namespace kovra
