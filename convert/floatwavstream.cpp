#include "floatwavstream.h"

namespace {

void PutLe(std::vector<uint8_t>& bytes, uint64_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * index)));
    }
}

void PutTag(std::vector<uint8_t>& bytes, const char* tag) {
    bytes.insert(bytes.end(), tag, tag + 4);
}

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
constexpr uint8_t kFloatSubFormat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

std::vector<uint8_t> FloatWavHeader(uint16_t channels, uint32_t sampleRate, uint32_t channelMask,
                                    uint64_t frames) {
    const uint32_t blockAlign = 4u * channels;
    const uint64_t dataBytes = frames * blockAlign;
    constexpr uint64_t kHeaderBytes = 12 + 36 + 48 + 8; // RIFF, ds64 or JUNK, fmt, data header
    const uint64_t riffBytes = kHeaderBytes - 8 + dataBytes;
    const bool isRf64 = riffBytes > 0xFFFFFFFFu;
    std::vector<uint8_t> header;
    PutTag(header, isRf64 ? "RF64" : "RIFF");
    PutLe(header, isRf64 ? 0xFFFFFFFFu : riffBytes, 4);
    PutTag(header, "WAVE");
    PutTag(header, isRf64 ? "ds64" : "JUNK");
    PutLe(header, 28, 4);
    PutLe(header, isRf64 ? riffBytes : 0, 8);
    PutLe(header, isRf64 ? dataBytes : 0, 8);
    PutLe(header, isRf64 ? frames : 0, 8);
    PutLe(header, 0, 4);
    PutTag(header, "fmt ");
    PutLe(header, 40, 4);
    PutLe(header, 0xFFFE, 2);
    PutLe(header, channels, 2);
    PutLe(header, sampleRate, 4);
    PutLe(header, static_cast<uint64_t>(sampleRate) * blockAlign, 4);
    PutLe(header, blockAlign, 2);
    PutLe(header, 32, 2);
    PutLe(header, 22, 2);
    PutLe(header, 32, 2);
    PutLe(header, channelMask, 4);
    header.insert(header.end(), kFloatSubFormat, kFloatSubFormat + 16);
    PutTag(header, "data");
    PutLe(header, isRf64 ? 0xFFFFFFFFu : dataBytes, 4);
    return header;
}
