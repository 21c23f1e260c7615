// The fold-down of 2, 6 or 8 interleaved input channels (as the configuration's name says) to
// interleaved stereo.
#ifndef KOVRA_DOWNMIX_H
#define KOVRA_DOWNMIX_H

#include "enginesettings.h"

#include <cstdint>

namespace kovra {

class Downmix {
public:
    explicit Downmix(const ConfigurationSettings& configuration);

    int channelCount() const { return channelCount_; }
    // Stereo in, the same stereo out: the samples can be copied bit for bit.
    bool isStereoIdentity() const { return stereoIdentity_; }

    // Copies stereo through unchanged (every bit, NaN and -0 included). Output may be the input.
    void copyStereo(const float* input, float* output, uint32_t frameCount) const;

    // Mixes to stereo and makes every sample safe for the filters: a channel reaches only the
    // outputs where it has a gain, whatever it holds; a mixed sample that is not a number (from
    // a NaN in a channel, or infinities of both signs) becomes 0, and infinities and absurd
    // levels are held at +-kSampleLimit. Output may be the input buffer itself.
    void mix(const float* input, float* output, uint32_t frameCount) const;

    static constexpr float kSampleLimit = 1.0e4f; // +80 dBFS

private:
    int channelCount_;
    bool stereoIdentity_;
    // Gains of input channels 0-3 and 4-7 into left and right, as SSE registers load them.
    alignas(16) float left_[kMaxInputChannels];
    alignas(16) float right_[kMaxInputChannels];
};

} // namespace kovra

#endif
