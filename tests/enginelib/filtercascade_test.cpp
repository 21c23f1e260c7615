// The filter stage in double: accuracy against an independent reference where single precision
// breaks down (low corners at a high rate), the same samples for any split into blocks, and
// both kernels (SSE2 and, where the processor has it, AVX2 with FMA) on the same input.
#include "enginetesting.h"
#include "filtercascade.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using kovra::FilterSection;
using kovra::FilterType;
using kovra_test::Section;

struct Kernel {
    const char* name;
    kovra::CascadeKernel run;
};

std::vector<Kernel> KernelsOfThisProcessor() {
    std::vector<Kernel> kernels = {{"SSE2", kovra::RunCascadeSse2}};
    if (kovra::FilterCascade::FastestKernel() == kovra::RunCascadeAvx2Fma) {
        kernels.push_back({"AVX2/FMA", kovra::RunCascadeAvx2Fma});
    }
    return kernels;
}

kovra::PresetSettings Preset(double preGainDb, const std::vector<FilterSection>& sections) {
    kovra::PresetSettings preset;
    preset.preGainDb = preGainDb;
    for (const FilterSection& section : sections) {
        preset.sections[preset.sectionCount++] = section;
    }
    return preset;
}

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Bass-heavy stereo test material: tones near and below the corners, and noise.
std::vector<float> Program(size_t frames, double rate) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::vector<float> samples(2 * frames);
    for (size_t frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / rate;
        const double tones = 0.3 * std::sin(kTwoPi * 15.0 * t) + 0.2 * std::sin(kTwoPi * 31.0 * t) +
                             0.1 * std::sin(kTwoPi * 440.0 * t);
        samples[2 * frame] = static_cast<float>(tones) + noise(random);
        samples[2 * frame + 1] = static_cast<float>(-0.5 * tones) + noise(random);
    }
    return samples;
}

// Runs frames through a freshly configured cascade, in blocks of the given length.
std::vector<float> Filtered(const kovra::PresetSettings& preset, double rate, const Kernel& kernel,
                            std::vector<float> frames, size_t blockFrames) {
    kovra::FilterCascade cascade;
    cascade.configure(preset, rate);
    const size_t total = frames.size() / 2;
    for (size_t start = 0; start < total; start += blockFrames) {
        const size_t count = std::min(blockFrames, total - start);
        cascade.processWith(kernel.run, frames.data() + 2 * start, static_cast<uint32_t>(count));
    }
    return frames;
}

TEST(FilterCascade, LowCornersAt96kHzMatchAnIndependentReference) {
    // A 20 Hz low shelf and a 10 Hz high-pass at 96 kHz: with the state in single precision the
    // output is off by about -60 dB; in double only the output's own rounding to float remains.
    constexpr double kRate = 96000.0;
    constexpr double kBoundDb = -130.0;
    const kovra::PresetSettings preset =
        Preset(-3.0, {Section(FilterType::LowShelf, 20.0, 0.7071, 6.0),
                      Section(FilterType::HighPass, 10.0, 0.7071)});
    const std::vector<float> input = Program(2 * static_cast<size_t>(kRate), kRate);
    const std::vector<double> reference =
        kovra_test::ReferenceCascade(preset, kRate).process(input);
    for (const Kernel& kernel : KernelsOfThisProcessor()) {
        SCOPED_TRACE(kernel.name);
        EXPECT_LT(kovra_test::DifferenceDb(Filtered(preset, kRate, kernel, input, 960), reference),
                  kBoundDb);
    }
}

TEST(FilterCascade, AnySplitIntoBlocksGivesTheSameSamples) {
    // Every section count, odd and even, in blocks shorter and longer than the cascade's skew.
    const FilterSection pool[] = {Section(FilterType::HighPass, 35.0, 0.7071),
                                  Section(FilterType::LowShelf, 120.0, 0.7071, 4.0),
                                  Section(FilterType::Peaking, 450.0, 1.0, -2.0),
                                  Section(FilterType::Peaking, 3200.0, 1.2, 2.5),
                                  Section(FilterType::HighShelf, 9000.0, 0.7071, 3.0),
                                  Section(FilterType::LowPass, 14000.0, 0.7071),
                                  Section(FilterType::Peaking, 60.0, 4.0, 9.0),
                                  Section(FilterType::HighShelf, 2000.0, 0.5, -6.0)};
    const std::vector<float> input = Program(4000, 48000.0);
    for (const Kernel& kernel : KernelsOfThisProcessor()) {
        for (int count = 0; count <= kovra::kMaxSectionsPerPreset; ++count) {
            SCOPED_TRACE(std::string(kernel.name) + ", " + std::to_string(count) + " sections");
            const kovra::PresetSettings preset =
                Preset(count == 0 ? -6.0 : 1.5, std::vector<FilterSection>(pool, pool + count));
            const std::vector<float> whole = Filtered(preset, 48000.0, kernel, input, 4000);
            // The filters act: a section count of 0 still applies the pre-gain.
            EXPECT_NE(whole, input);
            EXPECT_LT(kovra_test::DifferenceDb(
                          whole, kovra_test::ReferenceCascade(preset, 48000.0).process(input)),
                      -130.0);
            for (size_t block : {1, 2, 3, 7, 480}) {
                const std::vector<float> pieces = Filtered(preset, 48000.0, kernel, input, block);
                ASSERT_EQ(0, std::memcmp(whole.data(), pieces.data(), whole.size() * sizeof(float)))
                    << "blocks of " << block;
            }
        }
    }
}

} // namespace
