#include "presetchain.h"

namespace kovra {

void PresetChain::configure(const PresetSettings& preset, double sampleRate) {
    cascade_.configure(preset, sampleRate);
    limiter_.configure(preset.limiter, sampleRate);
    clearState();
}

void PresetChain::clearState() {
    cascade_.clearState();
    limiter_.clearState();
}

} // namespace kovra
