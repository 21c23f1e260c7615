#include "wavformat.h"

#include <cstdio>

uint32_t DefaultChannelMask(uint16_t channels) {
    switch (channels) {
    case 1:
        return 0x4; // FC
    case 2:
        return 0x3;
    case 3:
        return 0x7;
    case 4:
        return 0x33; // FL FR BL BR
    case 5:
        return 0x37;
    case 6:
        return 0x3F;
    case 7:
        return 0x13F; // 6.1: ... BC
    case 8:
        return 0x63F;
    default:
        return 0;
    }
}

int CountSpeakers(uint32_t mask) {
    int count = 0;
    for (; mask != 0; mask &= mask - 1) {
        ++count;
    }
    return count;
}

std::string DescribeEncoding(const WavFormat& format) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %u-bit",
                  format.encoding == SampleEncoding::Float ? "float" : "PCM",
                  unsigned{format.containerBits});
    std::string encoding = text;
    if (format.validBits != format.containerBits) {
        encoding += " (" + std::to_string(format.validBits) + " valid)";
    }
    return encoding;
}

std::string DescribeWavFormat(const WavFormat& format) {
    char text[160];
    std::snprintf(text, sizeof text, "%u ch %s %u Hz, mask 0x%X", unsigned{format.channels},
                  DescribeEncoding(format).c_str(), unsigned{format.sampleRate},
                  unsigned{format.channelMask});
    return text;
}
