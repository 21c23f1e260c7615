// Carries a conversion plan out on a stream of frames, in floating point and never clipped: the
// channels are mixed as the plan says (in double precision) and the rate is changed by libsoxr
// (very high quality: 28-bit precision, linear phase, pass band to 95 % as sox's rate -v). It
// resamples whichever side has fewer channels, and delivers exactly ConvertedFrames() frames,
// or reports why not. Memory stays the same whatever the length of the stream.
#pragma once

#include "conversionplan.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct soxr;

class StreamConverter {
public:
    // Takes `frames` converted frames, interleaved at the plan's target layout; false stops it.
    using Sink = std::function<bool(const float* frames, size_t count)>;

    StreamConverter() = default;
    StreamConverter(const StreamConverter&) = delete;
    StreamConverter& operator=(const StreamConverter&) = delete;
    ~StreamConverter();

    bool Start(const ConversionPlan& plan, uint64_t inputFrames, Sink sink, std::string& error);
    // Input frames at the plan's source layout, interleaved.
    bool Push(const float* input, size_t frames, std::string& error);
    // Flushes the resampler: true once every frame the conversion holds has gone to the sink.
    bool Finish(std::string& error);

    uint64_t FramesOut() const { return framesOut; }
    uint64_t ExpectedFramesOut() const { return expectedOut; }

private:
    bool Resample(const float* input, size_t frames, std::string& error);
    bool Deliver(const float* frames, size_t count, std::string& error);

    ConversionPlan plan;
    Sink sink;
    soxr* resampler = nullptr;
    bool mixFirst = false;
    uint16_t resampledChannels = 0;
    uint64_t expectedOut = 0;
    uint64_t framesOut = 0;
    std::vector<float> mixed;
    std::vector<float> resampled;
};

// out[frame][target] = sum of gain * in[frame][source] over the plan's mix, in double precision.
void MixFrames(const ConversionPlan& plan, const float* input, size_t frames, float* output);
