// The audio engine's side of a running stream: the file in periods through APOProcess, property
// changes delivered at their stream times, the output written, every call timed.
#pragma once

#include "apocontract.h"
#include "hostoptions.h"
#include "periodstats.h"
#include "progressbar.h"
#include "wavreader.h"
#include "wavwriter.h"

#include <cstdint>
#include <string>
#include <vector>

// Applies one property change to the endpoint and reports it to the effect.
class PropertyChanger {
public:
    virtual ~PropertyChanger() = default;
    virtual HRESULT Apply(const PropertyChange& change) = 0;
};

// The buffers the stream was locked with: APOProcess must be handed these very ones.
struct StreamBuffers {
    uint32_t periodFrames = 0;
    uint32_t inputChannels = 0;
    uint32_t outputChannels = 2;
    std::vector<float> input;
    std::vector<float> output;

    void Allocate(uint32_t frames, uint32_t channelsIn, uint32_t channelsOut);
};

struct AppliedChange {
    PropertyChange change;
    uint64_t frame = 0;  // the period boundary it was applied at
    uint64_t period = 0; // the period that followed it
    HRESULT result = S_OK;
};

struct ReloadBlock {
    uint64_t period = 0;
    uint64_t frame = 0;
};

enum class LoopFailure { None, Read, Effect, Write, Interrupted };

struct LoopResult {
    LoopFailure failure = LoopFailure::None;
    uint64_t periods = 0;
    uint64_t silentPeriods = 0;
    uint64_t framesIn = 0;
    uint64_t framesOut = 0;
    PeriodTimeHistogram processTimes; // APOProcess, every period
    std::vector<AppliedChange> changes;
    std::vector<ReloadBlock> reloadBlocks;
};

// Runs the stream to the end of the file. A change is applied at the first period boundary at or
// after its time; one that falls on or after the end of the file is never applied. False with
// `error` set when reading, the effect's answer or writing fails, or an interruption came.
bool RunProcessingLoop(IAudioProcessingObjectRT* effect, StreamBuffers& buffers, WavReader& reader,
                       WavWriter& writer, std::vector<PropertyChange> changes,
                       PropertyChanger& changer, ProgressBar& progress, LoopResult& result,
                       std::string& error);
