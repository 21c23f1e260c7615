#include "sampleconversion.h"

#include <cmath>
#include <cstring>

namespace {

int32_t ReadSigned24(const uint8_t* bytes) {
    const uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                           static_cast<uint32_t>(bytes[2]) << 16;
    return static_cast<int32_t>(value << 8) >> 8;
}

int32_t ReadSigned32(const uint8_t* bytes) {
    const uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                           static_cast<uint32_t>(bytes[2]) << 16 |
                           static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

float DecodePcm(const uint8_t* bytes, uint16_t containerBits) {
    switch (containerBits) {
    case 8:
        return (static_cast<int>(bytes[0]) - 128) / 128.0f;
    case 16:
        return static_cast<int16_t>(bytes[0] | bytes[1] << 8) / 32768.0f;
    case 24:
        return ReadSigned24(bytes) / 8388608.0f;
    default:
        return static_cast<float>(ReadSigned32(bytes) / 2147483648.0);
    }
}

// A little-endian word: the WAV byte order, and the platform's.
uint32_t LoadWord(const uint8_t* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

void DecodePcm16(const uint8_t* raw, size_t sampleCount, float* destination) {
    for (size_t index = 0; index < sampleCount; ++index) {
        int16_t value;
        std::memcpy(&value, raw + 2 * index, sizeof value);
        destination[index] = value * (1.0f / 32768.0f);
    }
}

// Four samples from three words at a time, each put in the top 24 bits of an int32, so one exact
// scale serves all; the same values as one sample at a time, without the byte-by-byte loads.
void DecodePcm24(const uint8_t* raw, size_t sampleCount, float* destination) {
    constexpr float kScale = 1.0f / 2147483648.0f;
    size_t index = 0;
    for (; index + 4 <= sampleCount; index += 4) {
        const uint8_t* bytes = raw + 3 * index;
        const uint32_t first = LoadWord(bytes);
        const uint32_t second = LoadWord(bytes + 4);
        const uint32_t third = LoadWord(bytes + 8);
        destination[index] = static_cast<int32_t>(first << 8) * kScale;
        destination[index + 1] =
            static_cast<int32_t>(((first >> 16) & 0xFF00u) | (second << 16)) * kScale;
        destination[index + 2] =
            static_cast<int32_t>(((second >> 8) & 0xFFFF00u) | (third << 24)) * kScale;
        destination[index + 3] = static_cast<int32_t>(third & 0xFFFFFF00u) * kScale;
    }
    for (; index < sampleCount; ++index) {
        destination[index] = DecodePcm(raw + 3 * index, 24);
    }
}

float DecodeFloat(const uint8_t* bytes, uint16_t containerBits) {
    if (containerBits == 64) {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        return static_cast<float>(value);
    }
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Rounds to the nearest step of full scale `scale` and clips to the integer range.
int32_t Quantize(float sample, int32_t scale, bool& clipped) {
    if (std::isnan(sample)) {
        return 0;
    }
    const double scaled = std::nearbyint(static_cast<double>(sample) * scale);
    if (scaled > scale - 1) {
        clipped = true;
        return scale - 1;
    }
    if (scaled < -scale) {
        clipped = true;
        return -scale;
    }
    return static_cast<int32_t>(scaled);
}

} // namespace

// One loop per encoding, so the compiler sees a straight loop: a whole file passes through here.
void DecodeSamples(const uint8_t* raw, SampleEncoding encoding, uint16_t containerBits,
                   size_t sampleCount, float* destination) {
    if (encoding == SampleEncoding::Float && containerBits == 32) {
        std::memcpy(destination, raw, sampleCount * 4);
        return;
    }
    const size_t stride = containerBits / 8u;
    if (encoding == SampleEncoding::Float) {
        for (size_t index = 0; index < sampleCount; ++index) {
            destination[index] = DecodeFloat(raw + index * stride, containerBits);
        }
        return;
    }
    switch (containerBits) {
    case 16:
        DecodePcm16(raw, sampleCount, destination);
        break;
    case 24:
        DecodePcm24(raw, sampleCount, destination);
        break;
    default:
        for (size_t index = 0; index < sampleCount; ++index) {
            destination[index] = DecodePcm(raw + index * stride, containerBits);
        }
    }
}

uint16_t OutputContainerBits(OutputEncoding encoding) {
    switch (encoding) {
    case OutputEncoding::Pcm16:
        return 16;
    case OutputEncoding::Pcm24:
        return 24;
    default:
        return 32;
    }
}

size_t EncodeSamples(const float* samples, size_t sampleCount, OutputEncoding encoding,
                     uint8_t* raw) {
    if (encoding == OutputEncoding::Float32) {
        std::memcpy(raw, samples, sampleCount * 4);
        return 0;
    }
    size_t clippedCount = 0;
    for (size_t index = 0; index < sampleCount; ++index) {
        bool clipped = false;
        switch (encoding) {
        case OutputEncoding::Float32:
            std::memcpy(raw + 4 * index, &samples[index], 4);
            break;
        case OutputEncoding::Pcm16: {
            const int32_t value = Quantize(samples[index], 32768, clipped);
            raw[2 * index] = static_cast<uint8_t>(value);
            raw[2 * index + 1] = static_cast<uint8_t>(value >> 8);
            break;
        }
        case OutputEncoding::Pcm24: {
            const int32_t value = Quantize(samples[index], 8388608, clipped);
            raw[3 * index] = static_cast<uint8_t>(value);
            raw[3 * index + 1] = static_cast<uint8_t>(value >> 8);
            raw[3 * index + 2] = static_cast<uint8_t>(value >> 16);
            break;
        }
        }
        clippedCount += clipped ? 1 : 0;
    }
    return clippedCount;
}
