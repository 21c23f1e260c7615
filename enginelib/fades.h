// Linear gain ramps that keep starts and preset switches free of steps. The gain of each frame
// comes from its position alone (no transcendental function, no accumulated rounding), so a
// ramp split over several blocks gives the same samples as in one.
#ifndef KOVRA_FADES_H
#define KOVRA_FADES_H

#include <cstdint>

namespace kovra {

// Scales frames of interleaved stereo that start `position` frames into a fade-in of
// fadeFrames frames: frame p gets (p + 1) / fadeFrames; frames from fadeFrames on are left as
// they are.
void FadeIn(float* frames, uint32_t frameCount, uint32_t position, uint32_t fadeFrames);

// Blends `from` into `to` (interleaved stereo, in place in `to`) for frames that start
// `position` frames into a crossfade: `from` alone for the first delayFrames, then the share of
// `to` rises by 1 / fadeFrames per frame until it is `to` alone.
void Crossfade(const float* from, float* to, uint32_t frameCount, uint32_t position,
               uint32_t delayFrames, uint32_t fadeFrames);

} // namespace kovra

#endif
