#include "presetchain.h"

namespace kovra {
namespace {

// A limiter that looks ahead says by how much; one that does not adds no delay.
template <class AnyLimiter>
auto LookAheadFrames(const AnyLimiter& limiter, int) -> decltype(limiter.latencyFrames()) {
    return limiter.latencyFrames();
}

template <class AnyLimiter> uint32_t LookAheadFrames(const AnyLimiter&, long) {
    return 0;
}

} // namespace

void PresetChain::configure(const PresetSettings& preset, double sampleRate) {
    cascade_.configure(preset, sampleRate);
    limiter_.configure(preset.limiter, sampleRate);
    clearState();
}

void PresetChain::clearState() {
    cascade_.clearState();
    limiter_.clearState();
}

uint32_t PresetChain::limiterLatencyFrames() const {
    return static_cast<uint32_t>(LookAheadFrames(limiter_, 0));
}

} // namespace kovra
