#include "soxchain.h"

#include "biquad.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// One output channel of sox's remix: "1v1,3v0.707099974", or "0" for silence.
std::string RemixSpec(const float* gains, int channelCount) {
    std::string mix;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (gains[channel] != 0.0f) {
            mix += (mix.empty() ? "" : ",") + std::to_string(channel + 1) + "v" +
                   Number(gains[channel]);
        }
    }
    return mix.empty() ? "0" : mix;
}

bool IsStereoIdentity(const kovra::ConfigurationSettings& configuration) {
    return configuration.channelCount == 2 && configuration.left[0] == 1.0f &&
           configuration.left[1] == 0.0f && configuration.right[0] == 0.0f &&
           configuration.right[1] == 1.0f;
}

// The engine designs a section at 1 Hz at the least, as here.
std::string SectionEffect(const kovra::FilterSection& section) {
    const std::string frequency = Number(std::max(section.frequencyHz, 1.0));
    const std::string q = Number(section.q) + "q";
    const std::string gain = Number(section.gainDb);
    switch (section.type) {
    case kovra::FilterType::Peaking:
        return "equalizer " + frequency + " " + q + " " + gain;
    case kovra::FilterType::LowShelf:
        return "bass " + gain + " " + frequency + " " + q;
    case kovra::FilterType::HighShelf:
        return "treble " + gain + " " + frequency + " " + q;
    case kovra::FilterType::LowPass:
        return "lowpass -2 " + frequency + " " + q;
    case kovra::FilterType::HighPass:
        return "highpass -2 " + frequency + " " + q;
    }
    return {};
}

void Append(std::string& effects, const std::string& effect) {
    effects += (effects.empty() ? "" : " ") + effect;
}

} // namespace

SoxChain SoxChainFor(const kovra::ConfigurationSettings& configuration,
                     const kovra::PresetSettings& preset, double sampleRate) {
    SoxChain chain;
    if (!IsStereoIdentity(configuration)) {
        Append(chain.effects,
               "remix -m " + RemixSpec(configuration.left.data(), configuration.channelCount) +
                   " " + RemixSpec(configuration.right.data(), configuration.channelCount));
    }
    if (configuration.filtersEnabled) {
        if (preset.preGainDb != 0.0) {
            Append(chain.effects, "gain " + Number(preset.preGainDb));
        }
        for (int index = 0; index < preset.sectionCount; ++index) {
            if (kovra::IsRealisable(preset.sections[index], sampleRate)) {
                Append(chain.effects, SectionEffect(preset.sections[index]));
            }
        }
    }
    return chain;
}
