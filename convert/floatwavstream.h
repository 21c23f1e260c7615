// The header of the stream kovraconvert hands apohost.exe: 32-bit float in the extensible layout
// with the channels' mask, and the exact data size, since a pipe has no end to find it by (RF64
// with its ds64 chunk past 4 GiB).
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> FloatWavHeader(uint16_t channels, uint32_t sampleRate, uint32_t channelMask,
                                    uint64_t frames);
