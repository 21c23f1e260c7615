#include "conversionplan.h"

#include "wavformat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint32_t kFL = 0x1, kFR = 0x2, kFC = 0x4, kLFE = 0x8, kBL = 0x10, kBR = 0x20, kFLC = 0x40,
                   kFRC = 0x80, kBC = 0x100, kSL = 0x200, kSR = 0x400, kTFL = 0x1000, kTFC = 0x2000,
                   kTFR = 0x4000, kTBL = 0x8000, kTBC = 0x10000, kTBR = 0x20000;
const double kMinus3dB = std::sqrt(0.5);

const char* const kSpeakerNames[] = {"FL", "FR", "FC", "LFE", "BL",  "BR",  "FLC", "FRC", "BC",
                                     "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};

struct Placement {
    uint32_t speakers; // one or two target speakers
    double gain;
};

// The engine library folds 8 channels as FL FR FC LFE and two surround pairs whatever the mask
// says, so the FLC and FRC slots of a 0xFF layout would sound as surrounds: nothing is put there.
uint32_t UsableSlots(uint32_t mask) {
    return mask & ~(kFLC | kFRC);
}

std::vector<Placement> Alternatives(uint32_t speaker);

// A height speaker folds onto the one below it, 3 dB down, as 7.1.4 becomes 7.1.
std::vector<Placement> FoldedFromAbove(uint32_t speaker, uint32_t below) {
    std::vector<Placement> placements = {{speaker, 1.0}};
    for (const Placement& placement : Alternatives(below)) {
        placements.push_back({placement.speakers, placement.gain * kMinus3dB});
    }
    return placements;
}

// Where a speaker goes when the target layout lacks it: the first of these whose speakers the
// target has all of. No entry fits: it is dropped (the LFE only: everything else ends on the
// front pair).
std::vector<Placement> Alternatives(uint32_t speaker) {
    switch (speaker) {
    case kFC:
        return {{kFC, 1.0}, {kFL | kFR, kMinus3dB}};
    case kLFE:
        return {{kLFE, 1.0}};
    case kBL:
        return {{kBL, 1.0}, {kSL, 1.0}, {kFL, 1.0}};
    case kBR:
        return {{kBR, 1.0}, {kSR, 1.0}, {kFR, 1.0}};
    case kSL:
        return {{kSL, 1.0}, {kBL, 1.0}, {kFL, 1.0}};
    case kSR:
        return {{kSR, 1.0}, {kBR, 1.0}, {kFR, 1.0}};
    case kFLC:
        return {{kFLC, 1.0}, {kFL, 1.0}};
    case kFRC:
        return {{kFRC, 1.0}, {kFR, 1.0}};
    case kBC:
        return {{kBC, 1.0}, {kBL | kBR, kMinus3dB}, {kSL | kSR, kMinus3dB}, {kFL | kFR, kMinus3dB}};
    case kTFL:
        return FoldedFromAbove(speaker, kFL);
    case kTFC:
        return FoldedFromAbove(speaker, kFC);
    case kTFR:
        return FoldedFromAbove(speaker, kFR);
    case kTBL:
        return FoldedFromAbove(speaker, kBL);
    case kTBC:
        return FoldedFromAbove(speaker, kBC);
    case kTBR:
        return FoldedFromAbove(speaker, kBR);
    default:
        return {{speaker, 1.0}, {kFL | kFR, kMinus3dB}};
    }
}

// The index of `speaker` among the channels of `mask` (channels follow the mask's bit order).
uint16_t ChannelOf(uint32_t mask, uint32_t speaker) {
    return static_cast<uint16_t>(CountSpeakers(mask & (speaker - 1)));
}

// The speaker of each channel; channels beyond the mask's bits have none (0).
std::vector<uint32_t> SpeakersOf(uint16_t channels, uint32_t mask) {
    std::vector<uint32_t> speakers;
    for (uint32_t bit = 1; bit != 0 && speakers.size() < channels; bit <<= 1) {
        if (mask & bit) {
            speakers.push_back(bit);
        }
    }
    speakers.resize(channels, 0);
    return speakers;
}

uint32_t NearestRate(uint32_t rate, const std::vector<StreamLayout>& accepted) {
    uint32_t best = 0;
    for (const StreamLayout& layout : accepted) {
        const long long distance = std::llabs(static_cast<long long>(layout.sampleRate) - rate);
        const long long bestDistance = std::llabs(static_cast<long long>(best) - rate);
        if (best == 0 || distance < bestDistance ||
            (distance == bestDistance && layout.sampleRate > best)) {
            best = layout.sampleRate;
        }
    }
    return best;
}

// A mono file plays on both sides of stereo at full level, as players do; otherwise the
// layout with the fewest channels that holds the most of the file's speakers.
const StreamLayout* ChooseLayout(const StreamLayout& from, uint32_t rate,
                                 const std::vector<StreamLayout>& accepted) {
    const StreamLayout* best = nullptr;
    int bestHeld = -1;
    for (const StreamLayout& layout : accepted) {
        if (layout.sampleRate != rate) {
            continue;
        }
        const int held = from.channels == 1 && (layout.channelMask & (kFL | kFR)) == (kFL | kFR)
                             ? 1
                             : CountSpeakers(UsableSlots(layout.channelMask) & from.channelMask);
        if (held > bestHeld || (held == bestHeld && layout.channels < best->channels)) {
            best = &layout;
            bestHeld = held;
        }
    }
    return best;
}

std::string Printf(const char* format, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string MaskText(uint32_t mask) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(mask));
    return text;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

} // namespace

bool ConversionPlan::ChangesChannels() const {
    if (from.channels != to.channels) {
        return true;
    }
    for (size_t channel = 0; channel < mix.size(); ++channel) {
        if (mix[channel].size() != 1 || mix[channel][0].first != channel ||
            mix[channel][0].second != 1.0) {
            return true;
        }
    }
    return false;
}

std::optional<ConversionPlan> PlanConversion(const StreamLayout& from,
                                             const std::vector<StreamLayout>& accepted) {
    const uint32_t rate = NearestRate(from.sampleRate, accepted);
    const StreamLayout* layout = ChooseLayout(from, rate, accepted);
    if (layout == nullptr || from.channelMask == 0) {
        return std::nullopt;
    }
    ConversionPlan plan;
    plan.from = from;
    plan.to = *layout;
    plan.mix.resize(layout->channels);
    const std::vector<uint32_t> speakers = SpeakersOf(from.channels, from.channelMask);
    for (uint16_t channel = 0; channel < from.channels; ++channel) {
        std::vector<Placement> alternatives = Alternatives(speakers[channel]);
        if (from.channels == 1) {
            alternatives.insert(alternatives.begin(), {kFL | kFR, 1.0});
        }
        bool placed = false;
        for (const Placement& placement : alternatives) {
            if (speakers[channel] == 0 ||
                (placement.speakers & ~UsableSlots(layout->channelMask)) != 0) {
                continue;
            }
            for (uint32_t bit = 1; bit != 0; bit <<= 1) {
                if (placement.speakers & bit) {
                    plan.mix[ChannelOf(layout->channelMask, bit)].push_back(
                        {channel, placement.gain});
                }
            }
            placed = true;
            break;
        }
        if (!placed) {
            plan.droppedChannels.push_back(channel);
        }
    }
    return plan;
}

std::string NoPlanReason(const StreamLayout& from, const std::vector<StreamLayout>& accepted) {
    if (accepted.empty()) {
        return "the effect takes none of the usual formats";
    }
    return std::to_string(from.channels) +
           " channels without a channel mask: nothing says which speaker each one feeds, so they "
           "cannot be folded onto a layout the effect takes; give the file its mask "
           "(WAVE_FORMAT_EXTENSIBLE, e.g. with ffmpeg's channelmap filter)";
}

uint64_t ConvertedFrames(uint64_t frames, uint32_t fromRate, uint32_t toRate) {
    if (fromRate == 0 || fromRate == toRate) {
        return frames;
    }
    const unsigned __int128 scaled = static_cast<unsigned __int128>(frames) * toRate * 2 + fromRate;
    return static_cast<uint64_t>(scaled / (2u * static_cast<unsigned __int128>(fromRate)));
}

std::string LayoutsText(const std::vector<StreamLayout>& layouts) {
    std::vector<std::string> words;
    for (const StreamLayout& layout : layouts) {
        words.push_back(std::to_string(layout.sampleRate) + ":" + std::to_string(layout.channels) +
                        ":" + MaskText(layout.channelMask));
    }
    return Join(words, " ");
}

bool ParseLayouts(const std::string& text, std::vector<StreamLayout>& layouts) {
    layouts.clear();
    const char* cursor = text.c_str();
    while (*cursor != '\0') {
        if (*cursor == ' ') {
            ++cursor;
            continue;
        }
        char* end = nullptr;
        const unsigned long long rate = std::strtoull(cursor, &end, 10);
        if (end == cursor || *end != ':' || *cursor == '-') {
            return false;
        }
        cursor = end + 1;
        const unsigned long long channels = std::strtoull(cursor, &end, 10);
        if (end == cursor || *end != ':' || channels == 0 || channels > 0xFFFF) {
            return false;
        }
        cursor = end + 1;
        const unsigned long long mask = std::strtoull(cursor, &end, 16);
        if (end == cursor || (*end != ' ' && *end != '\0') || rate == 0 || rate > 0xFFFFFFFFull ||
            mask > 0xFFFFFFFFull || *cursor == '-') {
            return false;
        }
        cursor = end;
        layouts.push_back({static_cast<uint32_t>(rate), static_cast<uint16_t>(channels),
                           static_cast<uint32_t>(mask)});
    }
    return true;
}

std::vector<std::string> DescribeConversion(const ConversionPlan& plan) {
    std::vector<std::string> lines;
    if (plan.ChangesRate()) {
        lines.push_back(Printf("sample rate %.0f Hz -> %.0f Hz (libsoxr, very high quality)",
                               plan.from.sampleRate, plan.to.sampleRate));
    }
    if (!plan.ChangesChannels()) {
        return lines;
    }
    const std::vector<uint32_t> from = SpeakersOf(plan.from.channels, plan.from.channelMask);
    const std::vector<uint32_t> to = SpeakersOf(plan.to.channels, plan.to.channelMask);
    std::vector<std::string> moves;
    std::vector<std::string> silent;
    for (size_t target = 0; target < plan.mix.size(); ++target) {
        if (plan.mix[target].empty()) {
            silent.push_back(SpeakerNames(to[target]));
        }
        for (const auto& [channel, gain] : plan.mix[target]) {
            const std::string source =
                from[channel] != 0 ? SpeakerNames(from[channel]) : Printf("%.0f", channel + 1);
            moves.push_back(source + "->" + SpeakerNames(to[target]) +
                            (gain == 1.0 ? "" : Printf(" %.1f dB", 20 * std::log10(gain))));
        }
    }
    std::string line = Printf("channels %.0f (", plan.from.channels) +
                       SpeakerNames(plan.from.channelMask) +
                       Printf(") -> %.0f (", plan.to.channels) + SpeakerNames(plan.to.channelMask) +
                       ", mask " + MaskText(plan.to.channelMask) + "): " + Join(moves, ", ");
    if (!silent.empty()) {
        line += "; " + Join(silent, " ") + " silent";
    }
    for (const uint16_t channel : plan.droppedChannels) {
        line += "; " +
                (from[channel] != 0 ? SpeakerNames(from[channel])
                                    : Printf("channel %.0f", channel + 1)) +
                " dropped";
    }
    lines.push_back(line);
    return lines;
}

std::string SpeakerNames(uint32_t mask) {
    std::vector<std::string> names;
    for (int bit = 0; bit < 32; ++bit) {
        if (mask & (1u << bit)) {
            names.push_back(bit < 18 ? kSpeakerNames[bit] : Printf("bit%.0f", bit));
        }
    }
    return names.empty() ? "none" : Join(names, " ");
}
