// The sox effects that do what an engine configuration does with a filter preset: the fold-down
// to stereo (remix), then, where the configuration runs the filters, the pre-gain and the same
// biquad sections (sox designs them with the same bilinear-transform formulas). The limiter has
// no counterpart in sox; the benchmark's signal stays below its ceiling, where it does nothing.
#pragma once

#include "enginesettings.h"

#include <string>

struct SoxChain {
    std::string effects;         // sox's effect arguments, separated by single spaces
    bool limiterLeftOut = false; // the configuration runs the limiter, which sox cannot
};

SoxChain SoxChainFor(const kovra::ConfigurationSettings& configuration,
                     const kovra::PresetSettings& preset, double sampleRate);
