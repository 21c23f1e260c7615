// The shape of the audio in a WAV file, as far as the host needs it.
#pragma once

#include <cstdint>
#include <string>

enum class SampleEncoding { Pcm, Float };

// The most channels a WAV file may carry here: far more than any speaker layout (22.2 has 24).
constexpr uint16_t kMaxWavChannels = 64;

struct WavFormat {
    SampleEncoding encoding = SampleEncoding::Pcm;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t containerBits = 0; // bits of one sample's container: 8, 16, 24, 32 or 64
    uint16_t validBits = 0;     // bits that carry the signal; at most containerBits
    uint32_t channelMask = 0;   // the file's speaker mask, or the usual one for the count
    bool maskFromFile = false;
    uint64_t frameCount = 0;

    uint32_t BlockAlign() const { return channels * (containerBits / 8u); }
    double DurationSeconds() const {
        return sampleRate == 0 ? 0.0 : static_cast<double>(frameCount) / sampleRate;
    }
};

// The speaker mask the platform assumes for a channel count when a file names none:
// FL FR for stereo, 5.1 (FL FR FC LFE BL BR) for 6, 7.1 surround (... SL SR) for 8.
uint32_t DefaultChannelMask(uint16_t channels);

// The number of speakers a mask names (its set bits).
int CountSpeakers(uint32_t mask);

// "6 ch PCM 24-bit (20 valid) 48000 Hz, mask 0x3F" for messages and the report.
std::string DescribeWavFormat(const WavFormat& format);

// The samples' encoding alone: "PCM 24-bit (20 valid)", "float 32-bit".
std::string DescribeEncoding(const WavFormat& format);
