// The conversion that makes a file the effect refuses into one it takes, as the audio engine
// converts a stream before a system effect sees it: the nearest rate the effect takes, and the
// smallest channel layout it takes that keeps every speaker of the file in its place. The plan
// is carried out by kovraconvert (`./kovra process`), in floating point with libsoxr; the host
// never resamples by itself. Plain C++: the converter builds it natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A stream shape the effect takes as input, found by asking it (see effectprobe.h).
struct StreamLayout {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint32_t channelMask = 0;
};

struct ConversionPlan {
    StreamLayout from;
    StreamLayout to;
    // For each channel of the converted file: the file's channels (from 0) mixed into it, with
    // their gains. An empty list is a silent channel.
    std::vector<std::vector<std::pair<uint16_t, double>>> mix;
    std::vector<uint16_t> droppedChannels; // channels of the file that go nowhere

    bool ChangesRate() const { return from.sampleRate != to.sampleRate; }
    bool ChangesChannels() const;
};

// The plan for a file of `from`'s shape, or nothing when the effect takes no shape at all or the
// file names no speaker for its channels (no channel mask past 8 channels).
std::optional<ConversionPlan> PlanConversion(const StreamLayout& from,
                                             const std::vector<StreamLayout>& accepted);

// Why PlanConversion gave no plan, in words that say what to do.
std::string NoPlanReason(const StreamLayout& from, const std::vector<StreamLayout>& accepted);

// The frames that `frames` frames at `fromRate` become at `toRate`: the duration kept, rounded
// to the nearest frame (half a frame up), which is what the resampler delivers.
uint64_t ConvertedFrames(uint64_t frames, uint32_t fromRate, uint32_t toRate);

// Shapes as one line of words, "48000:2:0x3 48000:6:0x3F", and back: how apohost tells the
// converter what the effect takes. Parsing fails on anything else.
std::string LayoutsText(const std::vector<StreamLayout>& layouts);
bool ParseLayouts(const std::string& text, std::vector<StreamLayout>& layouts);

// The plan in words, one line per converted property, for messages and the summary.
std::vector<std::string> DescribeConversion(const ConversionPlan& plan);

// "FL FR FC LFE" for a speaker mask.
std::string SpeakerNames(uint32_t mask);
