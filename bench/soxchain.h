// The sox effects that do what an engine configuration does with a filter preset at a rate: the
// fold-down to stereo (remix), then, where the configuration runs the filters, the pre-gain and
// the same biquad sections (sox designs them with the same bilinear-transform formulas), less
// those the rate cannot carry, which the engine passes through. The limiter has no counterpart
// in sox; the benchmark's signal stays below its ceiling, where it does nothing but delay.
#pragma once

#include "enginesettings.h"

#include <string>

struct SoxChain {
    std::string effects; // sox's effect arguments, separated by single spaces
};

SoxChain SoxChainFor(const kovra::ConfigurationSettings& configuration,
                     const kovra::PresetSettings& preset, double sampleRate);
