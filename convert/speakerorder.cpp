#include "speakerorder.h"

#include "wavformat.h"

#include <algorithm>
#include <numeric>

#include <sndfile.h>

namespace {

constexpr uint32_t kFL = 0x1, kFR = 0x2, kFC = 0x4, kLFE = 0x8, kBL = 0x10, kBR = 0x20, kFLC = 0x40,
                   kFRC = 0x80, kBC = 0x100, kSL = 0x200, kSR = 0x400, kTC = 0x800, kTFL = 0x1000,
                   kTFC = 0x2000, kTFR = 0x4000, kTBL = 0x8000, kTBC = 0x10000, kTBR = 0x20000;

uint32_t SpeakerOfPosition(int position) {
    switch (position) {
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
        return kFC;
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
        return kFL;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
        return kFR;
    case SF_CHANNEL_MAP_REAR_CENTER:
        return kBC;
    case SF_CHANNEL_MAP_REAR_LEFT:
        return kBL;
    case SF_CHANNEL_MAP_REAR_RIGHT:
        return kBR;
    case SF_CHANNEL_MAP_LFE:
        return kLFE;
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        return kFLC;
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        return kFRC;
    case SF_CHANNEL_MAP_SIDE_LEFT:
        return kSL;
    case SF_CHANNEL_MAP_SIDE_RIGHT:
        return kSR;
    case SF_CHANNEL_MAP_TOP_CENTER:
        return kTC;
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        return kTFL;
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        return kTFR;
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        return kTFC;
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return kTBL;
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return kTBR;
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return kTBC;
    default:
        return 0; // ambisonic components and unknown positions feed no speaker
    }
}

SpeakerList SpeakersOfMask(uint32_t mask) {
    SpeakerList speakers;
    for (uint32_t bit = 1; bit != 0; bit <<= 1) {
        if (mask & bit) {
            speakers.push_back(bit);
        }
    }
    return speakers;
}

// Two channels on one speaker make the whole list meaningless.
SpeakerList Checked(SpeakerList speakers) {
    uint32_t seen = 0;
    for (const uint32_t speaker : speakers) {
        if ((seen & speaker) != 0) {
            return {};
        }
        seen |= speaker;
    }
    return speakers;
}

} // namespace

SpeakerList SpeakersFromChannelMap(const std::vector<int>& map) {
    SpeakerList speakers;
    for (const int position : map) {
        speakers.push_back(SpeakerOfPosition(position));
    }
    return Checked(speakers);
}

SpeakerList VorbisSpeakers(uint16_t channels) {
    switch (channels) {
    case 3:
        return {kFL, kFC, kFR};
    case 5:
        return {kFL, kFC, kFR, kBL, kBR};
    case 6:
        return {kFL, kFC, kFR, kBL, kBR, kLFE};
    case 7:
        return {kFL, kFC, kFR, kSL, kSR, kBC, kLFE};
    case 8:
        return {kFL, kFC, kFR, kSL, kSR, kBL, kBR, kLFE};
    default:
        return DefaultSpeakers(channels, false);
    }
}

SpeakerList DefaultSpeakers(uint16_t channels, bool isFlac) {
    SpeakerList speakers =
        SpeakersOfMask(isFlac && channels == 7 ? 0x70F : DefaultChannelMask(channels));
    speakers.resize(channels, 0);
    return speakers;
}

uint32_t MaskOf(const SpeakerList& speakers) {
    return std::accumulate(speakers.begin(), speakers.end(), 0u,
                           [](uint32_t mask, uint32_t speaker) { return mask | speaker; });
}

std::vector<uint16_t> MaskOrder(const SpeakerList& speakers) {
    std::vector<uint16_t> order(speakers.size());
    std::iota(order.begin(), order.end(), uint16_t{0});
    // Channels without a speaker (0) go last, keeping their order.
    std::stable_sort(order.begin(), order.end(), [&](uint16_t left, uint16_t right) {
        const uint32_t a = speakers[left] == 0 ? UINT32_MAX : speakers[left];
        const uint32_t b = speakers[right] == 0 ? UINT32_MAX : speakers[right];
        return a < b;
    });
    return order;
}
