// The conversion that makes a file the effect refuses into one it takes, as the audio engine
// converts a stream before a system effect sees it: the nearest rate the effect takes, and the
// smallest channel layout it takes that keeps every speaker of the file in its place. The plan
// is carried out by sox (`./kovra process`); the host never resamples by itself.
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

// The plan for a file of `from`'s shape, or nothing when the effect takes no shape at all.
std::optional<ConversionPlan> PlanConversion(const StreamLayout& from,
                                             const std::vector<StreamLayout>& accepted);

// The sox effects that carry the plan out, e.g. "remix -m 1 2 0 0 3 4 rate -v 48000".
std::string SoxEffects(const ConversionPlan& plan);

// The plan in words, one line per converted property, for messages and the summary.
std::vector<std::string> DescribeConversion(const ConversionPlan& plan);

// "FL FR FC LFE" for a speaker mask.
std::string SpeakerNames(uint32_t mask);
