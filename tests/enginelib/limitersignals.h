// Signals for the limiter's tests and its benches: steady tones, a corpus of hostile material for
// the ceiling (noise far over it, lone spikes at every phase, square waves, level jumps), and one
// of program-like material for the true peak.
#ifndef KOVRA_LIMITERSIGNALS_H
#define KOVRA_LIMITERSIGNALS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kovra_test {

// Interleaved stereo, the same sine in both channels.
std::vector<float> StereoTone(size_t frames, double frequencyHz, double sampleRate,
                              float amplitude);

struct NamedSignal {
    std::string name;
    std::vector<float> stereo; // interleaved
};

// `seconds` of each kind of hostile material at a sample rate; `seed` varies the noise.
std::vector<NamedSignal> CeilingCorpus(double sampleRate, uint32_t seed, double seconds);

// `seconds` of each kind of material for the true peak at a sample rate: tones from 50 Hz to
// 20 kHz, 6 dB over full scale, whose phase against the samples turns once over the signal (so
// that every phase occurs); full-scale square waves; a loud master (pink noise with a kick)
// driven 6 and 12 dB into a clip at full scale; white and pink noise at full scale.
std::vector<NamedSignal> TruePeakCorpus(double sampleRate, double seconds);

// Stereo spread over 2, 6 or 8 channels (FL FR FC LFE BL BR SL SR): the left signal in the left
// channels, the right one in the right channels, their mean in the centre, nothing in the LFE,
// so that the default fold-down gives back about the same stereo.
std::vector<float> SpreadToChannels(const std::vector<float>& stereo, int channels);

} // namespace kovra_test

#endif
