// Builds WAV file images byte by byte, so tests can make exactly the file they need, broken ones
// included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavShape {
    uint16_t tag = 1; // 1 PCM, 3 float, 0xFFFE extensible
    uint16_t channels = 2;
    uint32_t sampleRate = 48000;
    uint16_t bits = 16;
    uint16_t validBits = 16;    // extensible only
    uint32_t channelMask = 0x3; // extensible only
    uint16_t subFormatTag = 1;  // extensible only
};

inline void PutLe16(std::vector<uint8_t>& bytes, uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutLe32(std::vector<uint8_t>& bytes, uint32_t value) {
    PutLe16(bytes, value & 0xFFFF);
    PutLe16(bytes, value >> 16);
}

inline void PutChunk(std::vector<uint8_t>& bytes, const char* id,
                     const std::vector<uint8_t>& body) {
    bytes.insert(bytes.end(), id, id + 4);
    PutLe32(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (body.size() % 2 == 1) {
        bytes.push_back(0);
    }
}

inline std::vector<uint8_t> FormatChunkBody(const WavShape& shape) {
    std::vector<uint8_t> body;
    const uint32_t blockAlign = shape.channels * (shape.bits / 8u);
    PutLe16(body, shape.tag);
    PutLe16(body, shape.channels);
    PutLe32(body, shape.sampleRate);
    PutLe32(body, shape.sampleRate * blockAlign);
    PutLe16(body, blockAlign);
    PutLe16(body, shape.bits);
    if (shape.tag == 0xFFFE) {
        PutLe16(body, 22);
        PutLe16(body, shape.validBits);
        PutLe32(body, shape.channelMask);
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        PutLe16(body, shape.subFormatTag);
        body.insert(body.end(), tail, tail + sizeof tail);
    }
    return body;
}

// A whole file: RIFF header, the chunks given, in order.
inline std::vector<uint8_t>
RiffFile(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
    std::vector<uint8_t> body;
    for (const auto& chunk : chunks) {
        PutChunk(body, chunk.first.c_str(), chunk.second);
    }
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    PutLe32(file, static_cast<uint32_t>(body.size() + 4));
    file.insert(file.end(), {'W', 'A', 'V', 'E'});
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline std::vector<uint8_t> WavFile(const WavShape& shape, const std::vector<uint8_t>& data) {
    return RiffFile({{"fmt ", FormatChunkBody(shape)}, {"data", data}});
}
