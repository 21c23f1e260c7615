// The live engine instances behind the handles that the C interface gives out. A handle is not
// an instance's address but a slot number with the slot's generation: once Kovra_destroy has
// released the instance, its handle names nothing, even when the memory or the slot serve a new
// instance. Finding an instance takes two atomic loads and no lock, so the real-time calls may
// do it.
#ifndef KOVRA_INSTANCEREGISTRY_H
#define KOVRA_INSTANCEREGISTRY_H

#include "kovraengine.h"

#include <cstdint>

namespace kovra {

class EngineInstance;

// Instances that can be alive at once; Kovra_create refuses more.
constexpr uint32_t kMaxLiveInstances = 1024;

// A new handle for the instance, or null when every slot is taken.
KovraHandle RegisterInstance(EngineInstance* instance);

// The live instance behind the handle, or null for null, stale and made-up handles.
EngineInstance* FindInstance(KovraHandle handle);

// Ends the handle and gives back its instance for the caller to delete, or null when the handle
// names no live instance. Of two calls racing with one handle, only one gets the instance.
EngineInstance* ReleaseInstance(KovraHandle handle);

} // namespace kovra

#endif
