#include "filtercascade.h"

#include "biquad.h"
#include "processorfeatures.h"

#include <algorithm>
#include <cmath>

namespace kovra {
namespace {

// Chosen once when the library loads, never on the real-time thread.
const CascadeKernel kFastestKernel = ProcessorHasAvx2AndFma() ? RunCascadeAvx2Fma : RunCascadeSse2;

void SetSection(CascadeData& data, int section, const BiquadCoefficients& c) {
    const double values[kCoefficientCount] = {c.b0, c.b1, c.b2, c.a1, c.a2};
    for (int coefficient = 0; coefficient < kCoefficientCount; ++coefficient) {
        data.coefficients[coefficient][section][0] = values[coefficient];
        data.coefficients[coefficient][section][1] = values[coefficient];
    }
}

} // namespace

FilterCascade::FilterCascade() : kernel_(kFastestKernel) {
    // Every slot passes its input through until configured: a kernel that rounds the section
    // count up to whole registers runs the slot above the last section as such.
    for (int section = 0; section < kMaxCascadeSections; ++section) {
        SetSection(data_, section, BiquadCoefficients{});
    }
    clearState();
}

CascadeKernel FilterCascade::FastestKernel() {
    return kFastestKernel;
}

void FilterCascade::configure(const PresetSettings& preset, double sampleRate) {
    // Sections this rate cannot realise pass through, so they are left out and cost nothing.
    int count = 0;
    for (int section = 0; section < std::min(preset.sectionCount, kMaxCascadeSections); ++section) {
        if (IsRealisable(preset.sections[section], sampleRate)) {
            SetSection(data_, count++, DesignBiquad(preset.sections[section], sampleRate));
        }
    }
    for (int section = count; section < kMaxCascadeSections; ++section) {
        SetSection(data_, section, BiquadCoefficients{});
    }
    const double preGain = std::pow(10.0, preset.preGainDb / 20.0);
    // A pre-gain without sections needs one section to carry it.
    data_.sectionCount = (count == 0 && preGain != 1.0) ? 1 : count;
    for (int coefficient : {kB0, kB1, kB2}) {
        data_.coefficients[coefficient][0][0] *= preGain;
        data_.coefficients[coefficient][0][1] *= preGain;
    }
    clearState();
}

void FilterCascade::clearState() {
    for (int section = 0; section < kMaxCascadeSections; ++section) {
        data_.z1[section][0] = data_.z1[section][1] = 0.0;
        data_.z2[section][0] = data_.z2[section][1] = 0.0;
    }
}

} // namespace kovra
