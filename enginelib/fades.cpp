#include "fades.h"

#include <algorithm>

namespace kovra {

void FadeIn(float* frames, uint32_t frameCount, uint32_t position, uint32_t fadeFrames) {
    const float step = 1.0f / static_cast<float>(std::max(fadeFrames, 1u));
    for (uint32_t frame = 0; frame < frameCount && position + frame < fadeFrames; ++frame) {
        const float gain = static_cast<float>(position + frame + 1) * step;
        frames[2 * frame] *= gain;
        frames[2 * frame + 1] *= gain;
    }
}

void Crossfade(const float* from, float* to, uint32_t frameCount, uint32_t position,
               uint32_t delayFrames, uint32_t fadeFrames) {
    const float step = 1.0f / static_cast<float>(std::max(fadeFrames, 1u));
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        const uint32_t at = position + frame;
        const float share = at < delayFrames
                                ? 0.0f
                                : std::min(1.0f, static_cast<float>(at - delayFrames + 1) * step);
        // Written so that a share of 1 gives `to` exactly and a share of 0 gives `from` exactly.
        for (int channel = 0; channel < 2; ++channel) {
            const size_t index = 2 * static_cast<size_t>(frame) + channel;
            to[index] = (1.0f - share) * from[index] + share * to[index];
        }
    }
}

} // namespace kovra
