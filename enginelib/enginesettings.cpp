#include "enginesettings.h"

#include <cstring>
#include <initializer_list>

namespace kovra {
namespace {

constexpr const char* kConfigurationNames[kConfigurationCount] = {
    "2_ch", "2_ch_bypass", "6_ch", "6_ch_bypass", "8_ch", "8_ch_bypass"};

// Centre and surrounds enter each side at -3 dB (ITU-style fold-down); LFE is dropped because
// small stereo speakers cannot carry it and adding it muddies the mix. Channel order:
// FL FR FC LFE BL BR SL SR.
constexpr float kMinus3Db = 0.7071f;

ConfigurationSettings Downmix(int channelCount, bool filtersEnabled, bool limiterEnabled) {
    ConfigurationSettings configuration;
    configuration.channelCount = channelCount;
    configuration.filtersEnabled = filtersEnabled;
    configuration.limiterEnabled = limiterEnabled;
    configuration.left[0] = 1.0f;
    configuration.right[1] = 1.0f;
    if (channelCount >= 6) {
        configuration.left[2] = kMinus3Db;
        configuration.right[2] = kMinus3Db;
        configuration.left[4] = kMinus3Db;
        configuration.right[5] = kMinus3Db;
    }
    if (channelCount == 8) {
        configuration.left[6] = kMinus3Db;
        configuration.right[7] = kMinus3Db;
    }
    return configuration;
}

FilterSection Section(FilterType type, double frequencyHz, double q, double gainDb = 0.0) {
    FilterSection section;
    section.type = type;
    section.frequencyHz = frequencyHz;
    section.q = q;
    section.gainDb = gainDb;
    return section;
}

PresetSettings Preset(double preGainDb, std::initializer_list<FilterSection> sections,
                      double limiterThresholdDb, double limiterReleaseMs) {
    PresetSettings preset;
    preset.preGainDb = preGainDb;
    for (const FilterSection& section : sections) {
        preset.sections[preset.sectionCount++] = section;
    }
    preset.limiter.thresholdDb = limiterThresholdDb;
    preset.limiter.releaseMs = limiterReleaseMs;
    return preset;
}

EngineSettings MakeBuiltInSettings() {
    EngineSettings settings;
    // Every configuration runs the loaded preset's filters. The effect opens the bypass ones for
    // presets 1 and 2; preset 2 has no filter, so there it is the bypass itself: stereo passes
    // bit for bit ("2_ch_bypass" has no limiter, and so no delay), and more channels are only
    // folded down, with the limiter catching the overs that a fold-down can produce.
    settings.configurations[0] = Downmix(2, true, true);
    settings.configurations[1] = Downmix(2, true, false);
    settings.configurations[2] = Downmix(6, true, true);
    settings.configurations[3] = Downmix(6, true, true);
    settings.configurations[4] = Downmix(8, true, true);
    settings.configurations[5] = Downmix(8, true, true);

    constexpr double kButterworthQ = 0.7071;
    // 0: the full effect: tighter bass, less boxiness, more presence and air.
    settings.presets[0] = Preset(-4.0,
                                 {Section(FilterType::HighPass, 35.0, kButterworthQ),
                                  Section(FilterType::LowShelf, 120.0, kButterworthQ, 4.0),
                                  Section(FilterType::Peaking, 450.0, 1.0, -2.0),
                                  Section(FilterType::Peaking, 3200.0, 1.2, 2.5),
                                  Section(FilterType::HighShelf, 9000.0, kButterworthQ, 3.0)},
                                 -1.0, 60.0);
    // 1: speech: rumble and hiss removed, intelligibility band lifted. The pre-gain keeps the
    // whole response below -0.5 dB, since "2_ch_bypass" runs it without a limiter.
    settings.presets[1] = Preset(-4.5,
                                 {Section(FilterType::HighPass, 90.0, kButterworthQ),
                                  Section(FilterType::Peaking, 250.0, 1.0, -3.0),
                                  Section(FilterType::Peaking, 2800.0, 1.0, 4.0),
                                  Section(FilterType::LowPass, 14000.0, kButterworthQ)},
                                 -1.0, 50.0);
    // 2: the bypass: no filter; its limiter is the safety net of the 6- and 8-channel fold-down.
    settings.presets[2] = Preset(0.0, {}, -0.5, 80.0);
    return settings;
}

} // namespace

const char* ConfigurationName(int index) {
    if (index < 0 || index >= kConfigurationCount) {
        return nullptr;
    }
    return kConfigurationNames[index];
}

int ConfigurationIndexFromName(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    for (int index = 0; index < kConfigurationCount; ++index) {
        if (std::strcmp(name, kConfigurationNames[index]) == 0) {
            return index;
        }
    }
    return -1;
}

int ChannelCountOfConfiguration(int index) {
    static constexpr int kChannels[kConfigurationCount] = {2, 2, 6, 6, 8, 8};
    return (index >= 0 && index < kConfigurationCount) ? kChannels[index] : 0;
}

const EngineSettings& BuiltInSettings() {
    static const EngineSettings settings = MakeBuiltInSettings();
    return settings;
}

} // namespace kovra
