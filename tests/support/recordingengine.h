// A stand-in for the sound engine library that records every call, so tests can assert exactly
// what the effect asked of the engine. Linked into test programs in place of the real DLL.
// No engine call takes a lock, and none allocates while the room reserved by Clear lasts, so the
// stand-in can sit on the real-time path of a test that counts allocations and locks there.
// Calls may come from several threads at once; the readers below are for while no other thread
// calls the engine.
#pragma once

#include "kovraengine.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Forgets the recorded calls, the instances, the settings and the hooks below, and reserves
// room for many calls and instances.
void Clear();
size_t CallCount();
const Record& CallAt(size_t index);
std::vector<Record> Calls();
std::vector<Record> CallsOf(Call call);
// Instances created and not yet destroyed, now and at most at once since Clear.
size_t LiveInstances();
size_t PeakLiveInstances();
// Calls that passed a null handle, or the handle of an instance already destroyed. Destroyed
// instances keep their memory until Clear, so a stale handle is never mistaken for a new one.
size_t CallsWithNullHandle();
size_t CallsOnDestroyedInstances();
// Blocks handed to an instance that was not prepared, or longer than it was prepared for.
size_t BlocksBeyondPreparation();
// Frames Kovra_getLatency reports from now on: for every configuration, or for one.
void SetLatencyFrames(uint32_t frames);
void SetLatencyFrames(const std::string& configuration, uint32_t frames);
// Makes Kovra_create fail as out of memory, leaving the handle it was given alone.
void FailCreate(bool fail);
// Runs after every recorded call of that kind, on the calling thread. Set while no other
// thread calls the engine.
void OnCall(Call call, std::function<void()> hook);
// The name of the configuration an index was given for ("" when unknown).
std::string ConfigurationNameOf(int64_t index);

} // namespace recordingengine
