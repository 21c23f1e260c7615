#include "enginesettings.h"

#include <cstring>
#include <initializer_list>

namespace kovra {
namespace {

constexpr const char* kConfigurationNames[kConfigurationCount] = {
    "2_ch", "2_ch_bypass", "6_ch", "6_ch_bypass", "8_ch", "8_ch_bypass"};

// The fold-down follows the ITU-R BS.775 Lo/Ro downmix: centre and surrounds enter each side at
// -3 dB (0.7071) beside the front channel at 1, and LFE is dropped because small stereo speakers
// cannot carry it and adding it muddies the mix. For 7.1 the side and back surrounds first fold
// to one surround at -3 dB each, so each enters at 0.5. The coefficients of each side are then
// normalised to sum to 1, as decoders do to avoid overload: even every input channel at full
// scale and in phase cannot take the fold-down over full scale, so ordinary program material
// never reaches the limiter and the limiter stays a safety net for the presets' boosts.
//   5.1: 1, 0.7071, 0.7071 over 2.4142       -> 0.4142, 0.2929, 0.2929
//   7.1: 1, 0.7071, 0.5, 0.5 over 2.7071     -> 0.3694, 0.2612, 0.1847, 0.1847
// Channel order: FL FR FC LFE BL BR SL SR.
struct FoldDownGains {
    float front;
    float centre;
    float back;
    float side;
};
constexpr FoldDownGains kStereoGains{1.0f, 0.0f, 0.0f, 0.0f};
constexpr FoldDownGains kFivePointOneGains{0.4142f, 0.2929f, 0.2929f, 0.0f};
constexpr FoldDownGains kSevenPointOneGains{0.3694f, 0.2612f, 0.1847f, 0.1847f};

ConfigurationSettings Downmix(int channelCount, bool filtersEnabled, bool limiterEnabled) {
    const FoldDownGains& gains = channelCount == 8   ? kSevenPointOneGains
                                 : channelCount == 6 ? kFivePointOneGains
                                                     : kStereoGains;
    ConfigurationSettings configuration;
    configuration.channelCount = channelCount;
    configuration.filtersEnabled = filtersEnabled;
    configuration.limiterEnabled = limiterEnabled;
    configuration.left[0] = gains.front;
    configuration.right[1] = gains.front;
    if (channelCount >= 6) {
        configuration.left[2] = gains.centre;
        configuration.right[2] = gains.centre;
        configuration.left[4] = gains.back;
        configuration.right[5] = gains.back;
    }
    if (channelCount == 8) {
        configuration.left[6] = gains.side;
        configuration.right[7] = gains.side;
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
                      double limiterCeilingDb, double limiterReleaseMs) {
    PresetSettings preset;
    preset.preGainDb = preGainDb;
    for (const FilterSection& section : sections) {
        preset.sections[preset.sectionCount++] = section;
    }
    preset.limiter.ceilingDb = limiterCeilingDb;
    preset.limiter.releaseMs = limiterReleaseMs;
    return preset;
}

EngineSettings MakeBuiltInSettings() {
    EngineSettings settings;
    // Every configuration runs the loaded preset's filters. The effect opens the bypass ones for
    // presets 1 and 2; preset 2 has no filter, so there it is the bypass itself: stereo passes
    // bit for bit ("2_ch_bypass" switches the limiter off, and a chain that changes nothing
    // goes without it and its delay), and more channels are only folded down, with the limiter
    // catching the overs that a fold-down can produce. Preset 1 on stereo changes the level, so
    // its limiter runs there too.
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
    // whole response below -0.5 dB; the peaks of a loud master still go over, which the limiter
    // catches.
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
