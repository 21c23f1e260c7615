// The output limiter: a stereo-linked peak limiter without look-ahead, so it adds no latency.
// The gain drops at once to what keeps the louder channel at the ceiling and recovers
// exponentially with the release time; a final clamp guards the last rounding step, so every
// sample leaves within [-1, 1].
#ifndef KOVRA_LIMITER_H
#define KOVRA_LIMITER_H

#include "enginesettings.h"

#include <cstdint>

namespace kovra {

class Limiter {
public:
    void configure(const LimiterSettings& settings, double sampleRate);
    void clearState() { gain_ = 1.0f; }
    // Limits interleaved stereo frames in place.
    void process(float* frames, uint32_t frameCount);

private:
    float ceiling_ = 1.0f;
    float releaseFactor_ = 0.0f; // share of the gain's distance to its target kept per frame
    float gain_ = 1.0f;
};

} // namespace kovra

#endif
