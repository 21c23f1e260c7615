// The engine instances behind the handles that the C interface gives out, in memory set aside
// when the library loads: opening, using and closing an instance takes no lock and no heap, so
// the effect may do all of it on the audio thread.
//
// A handle is not an instance's address but a slot number with the slot's generation, which
// moves on when the instance is closed: a handle of a closed instance names nothing, even once
// the slot serves a new instance. Every call holds its slot for its length (a count in the
// slot's state word). Closing ends the handle at once but leaves the memory as it is; the slot
// is reused only once no call holds it any more. So a call that was under way when its
// instance was closed finishes on that instance, and never on another.
#ifndef KOVRA_INSTANCEPOOL_H
#define KOVRA_INSTANCEPOOL_H

#include "enginesettings.h"
#include "kovraengine.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kovra {

class EngineInstance;

// Instances that can be open at once. The effect keeps at most two per stream (the one playing
// and, during a reload, its successor); this leaves room for sixteen streams in one process.
constexpr uint32_t kInstanceCapacity = 32;

// Builds an instance in a free slot and returns its handle, or null when every slot is in use.
KovraHandle OpenInstance(const ConfigurationSettings& configuration,
                         const std::array<PresetSettings, kPresetCount>& presets);

// Ends the handle: false when it names no open instance. Of two calls racing with one handle,
// only one ends it.
bool CloseInstance(KovraHandle handle);

// The instance a handle names, held for the length of one call; empty for null, closed and
// made-up handles.
class InstanceCall {
public:
    explicit InstanceCall(KovraHandle handle);
    ~InstanceCall();
    InstanceCall(const InstanceCall&) = delete;
    InstanceCall& operator=(const InstanceCall&) = delete;

    explicit operator bool() const { return instance_ != nullptr; }
    EngineInstance* operator->() const { return instance_; }

private:
    EngineInstance* instance_ = nullptr;
    uint32_t slot_ = 0;
};

// A test's seam: called, when set, on the way from a handle to its instance, once the handle has
// been checked, so that a test can make another thread's calls happen right there.
extern std::atomic<void (*)()> afterHandleChecked;

} // namespace kovra

#endif
