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

std::string DescribeWavFormat(const WavFormat& format) {
    char validText[32] = "";
    if (format.validBits != format.containerBits) {
        std::snprintf(validText, sizeof validText, " (%u valid)", unsigned{format.validBits});
    }
    char text[160];
    std::snprintf(
        text, sizeof text, "%u ch %s %u-bit%s %u Hz, mask 0x%X", unsigned{format.channels},
        format.encoding == SampleEncoding::Float ? "float" : "PCM", unsigned{format.containerBits},
        validText, unsigned{format.sampleRate}, unsigned{format.channelMask});
    return text;
}
