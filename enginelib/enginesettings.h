// What a configuration file describes: the six engine configurations and the three filter
// presets. Plain values with fixed capacities, so an engine instance can hold a copy without
// any allocation of its own.
#ifndef KOVRA_ENGINESETTINGS_H
#define KOVRA_ENGINESETTINGS_H

#include "engineconstants.h"

#include <array>
#include <cstdint>

namespace kovra {

constexpr int kConfigurationCount = 6;
constexpr int kPresetCount = 3;
constexpr int kMaxInputChannels = 8;

enum class FilterType { Peaking, LowShelf, HighShelf, LowPass, HighPass };

// One biquad section as the user describes it; coefficients are designed from it per rate.
struct FilterSection {
    FilterType type = FilterType::Peaking;
    double frequencyHz = 1000.0;
    double q = 0.7071;   // Butterworth
    double gainDb = 0.0; // peaking and shelves only
};

constexpr double kMaxLimiterHoldMs = 200.0;

struct LimiterSettings {
    double ceilingDb = 0.0;  // the most any output sample or true peak may reach, dBFS, at most 0
    double releaseMs = 50.0; // time for the gain to recover by about 63 % after the hold
    double holdMs = 25.0;    // time the gain stays down after a peak before it recovers
};

struct PresetSettings {
    double preGainDb = 0.0;
    int sectionCount = 0;
    std::array<FilterSection, kMaxSectionsPerPreset> sections{};
    LimiterSettings limiter{};
};

// How one input layout becomes stereo, and which stages of the loaded preset run.
// left[c] and right[c] are the gains of input channel c in the left and right output.
struct ConfigurationSettings {
    int channelCount = 2;
    std::array<float, kMaxInputChannels> left{};
    std::array<float, kMaxInputChannels> right{};
    bool filtersEnabled = true; // the preset's pre-gain and biquad chain
    bool limiterEnabled = true; // the preset's output limiter
};

struct EngineSettings {
    std::array<ConfigurationSettings, kConfigurationCount> configurations{};
    std::array<PresetSettings, kPresetCount> presets{};
};

// The configuration names in index order; Kovra_getConfigIndexFromName answers with these
// indices.
const char* ConfigurationName(int index);
int ConfigurationIndexFromName(const char* name); // -1 when unknown

// The input channel count that a configuration name implies (2, 6 or 8).
int ChannelCountOfConfiguration(int index);

// What applies when no configuration file has been read, or the file was refused.
const EngineSettings& BuiltInSettings();

} // namespace kovra

#endif
