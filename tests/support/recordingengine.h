// A stand-in for the sound engine library that records every call, so tests can assert exactly
// what the effect asked of the engine. Linked into test programs in place of the real DLL.
// Recording never allocates while the reserved capacity lasts, so it can sit on the real-time
// path of an allocation-counting test.
#pragma once

#include "kovraengine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace recordingengine {

enum class Call {
    Initialize,
    GetConfigIndexFromName,
    Create,
    PrepareToPlay,
    Reset,
    LoadFilter,
    ProcessBlock,
    GetLatency,
    Destroy
};

struct Record {
    Call call;
    KovraHandle handle;   // the handle passed (for Create: the handle written)
    int64_t arguments[6]; // the call's integer arguments, in order
    char name[80];        // configuration name or path, when the call takes one
    const void* input;    // ProcessBlock buffers
    void* output;
};

// Forgets the recorded calls and live instances, and reserves room for many calls.
void Clear();
const std::vector<Record>& Calls();
std::vector<Record> CallsOf(Call call);
// Instances created and not yet destroyed.
size_t LiveInstances();
// Frames Kovra_getLatency reports from now on.
void SetLatencyFrames(uint32_t frames);
// The name of the configuration an index was given for ("" when unknown).
std::string ConfigurationNameOf(int64_t index);

} // namespace recordingengine
