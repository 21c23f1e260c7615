// Signals for the limiter's tests and its bench: steady tones, and a corpus of hostile material
// for the ceiling (noise far over it, lone spikes at every phase, square waves, level jumps).
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

} // namespace kovra_test

#endif
