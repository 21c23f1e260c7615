// Each section type's measured response against its analytic value: the bilinear transform of
// the analog prototype maps a frequency f to the analog frequency tan(pi f / fs), and with the
// design frequency pre-warped the prototype's magnitude at the ratio of the two is exact.
#include "biquad.h"
#include "enginetesting.h"
#include "filtercascade.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using kovra::FilterSection;
using kovra::FilterType;
using kovra_test::Section;

// Runs an impulse through the section and takes the response's magnitude.
double MeasuredMagnitude(const FilterSection& section, double frequency, double rate) {
    kovra::PresetSettings preset;
    preset.sectionCount = 1;
    preset.sections[0] = section;
    kovra::FilterCascade cascade;
    cascade.configure(preset, rate);
    const size_t length = static_cast<size_t>(rate); // one second: the response has died out
    std::vector<float> frames(2 * length, 0.0f);
    frames[0] = 1.0f;
    cascade.process(frames.data(), static_cast<uint32_t>(length));
    std::vector<double> response(length);
    for (size_t n = 0; n < length; ++n) {
        response[n] = frames[2 * n];
    }
    return kovra_test::MagnitudeAt(response, frequency, rate);
}

struct SectionCase {
    const char* name;
    FilterSection section;
};

TEST(Biquad, EachTypeMatchesItsAnalyticResponse) {
    const SectionCase cases[] = {
        {"peaking +6", Section(FilterType::Peaking, 1000, 1.0, 6.0)},
        {"peaking -9 narrow", Section(FilterType::Peaking, 3000, 4.0, -9.0)},
        {"low shelf +4", Section(FilterType::LowShelf, 150, 0.7071, 4.0)},
        {"low shelf -6", Section(FilterType::LowShelf, 400, 1.0, -6.0)},
        {"high shelf +3", Section(FilterType::HighShelf, 8000, 0.7071, 3.0)},
        {"high shelf -5", Section(FilterType::HighShelf, 5000, 0.5, -5.0)},
        {"low pass", Section(FilterType::LowPass, 2000, 0.7071)},
        {"low pass resonant", Section(FilterType::LowPass, 500, 3.0)},
        {"high pass", Section(FilterType::HighPass, 100, 0.7071)},
        {"high pass resonant", Section(FilterType::HighPass, 1000, 2.0)},
    };
    const double frequencies[] = {50, 100, 250, 500, 1000, 2000, 3000, 5000, 10000, 18000};
    for (double rate : {48000.0, 96000.0}) {
        for (const SectionCase& c : cases) {
            for (double frequency : frequencies) {
                SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(frequency) + " Hz, " +
                             std::to_string(rate));
                const double expected = kovra_test::AnalyticMagnitude(c.section, frequency, rate);
                if (expected < 1e-3) {
                    continue; // deep in a stop band the float output's rounding dominates
                }
                EXPECT_NEAR(kovra_test::ToDb(expected),
                            kovra_test::ToDb(MeasuredMagnitude(c.section, frequency, rate)), 0.05);
                EXPECT_NEAR(kovra_test::ToDb(expected),
                            kovra_test::ToDb(kovra::BiquadMagnitude(
                                kovra::DesignBiquad(c.section, rate), frequency, rate)),
                            1e-6);
            }
        }
    }
}

TEST(Biquad, LandmarksOfEachType) {
    const double rate = 48000.0;
    auto db = [rate](const FilterSection& section, double frequency) {
        return kovra_test::ToDb(
            kovra::BiquadMagnitude(kovra::DesignBiquad(section, rate), frequency, rate));
    };
    EXPECT_NEAR(6.0, db(Section(FilterType::Peaking, 1000, 1.0, 6.0), 1000), 1e-9);
    EXPECT_NEAR(0.0, db(Section(FilterType::Peaking, 1000, 1.0, 6.0), 20), 0.01);
    // Shelves: the full gain far into the shelf, half of it at the corner.
    EXPECT_NEAR(4.0, db(Section(FilterType::LowShelf, 150, 0.7071, 4.0), 5), 0.01);
    EXPECT_NEAR(2.0, db(Section(FilterType::LowShelf, 150, 0.7071, 4.0), 150), 1e-9);
    EXPECT_NEAR(-5.0, db(Section(FilterType::HighShelf, 5000, 0.7071, -5.0), 23900), 0.05);
    EXPECT_NEAR(-2.5, db(Section(FilterType::HighShelf, 5000, 0.7071, -5.0), 5000), 1e-9);
    // Butterworth passes: -3 dB at the corner, unity far in the pass band.
    EXPECT_NEAR(20 * std::log10(0.7071), db(Section(FilterType::LowPass, 2000, 0.7071), 2000),
                1e-9);
    EXPECT_NEAR(0.0, db(Section(FilterType::LowPass, 2000, 0.7071), 10), 1e-4);
    EXPECT_NEAR(20 * std::log10(0.7071), db(Section(FilterType::HighPass, 100, 0.7071), 100), 1e-9);
    EXPECT_NEAR(0.0, db(Section(FilterType::HighPass, 100, 0.7071), 20000), 1e-4);
}

TEST(Biquad, SectionsAtOrAboveHalfTheRatePassThroughWhereTheyCannotBeRealised) {
    // Pulled just below half the rate they would become resonances nobody asked for (+26 dB
    // at 23.95 kHz for the low-pass); at 96 kHz the same sections run.
    const SectionCase cases[] = {
        {"low pass 30 kHz, Q 20", Section(FilterType::LowPass, 30000, 20.0)},
        {"peaking 30 kHz, +24 dB", Section(FilterType::Peaking, 30000, 20.0, 24.0)},
        {"high shelf 24 kHz, +12 dB", Section(FilterType::HighShelf, 24000, 0.7071, 12.0)},
        {"low shelf 25 kHz, +6 dB", Section(FilterType::LowShelf, 25000, 0.7071, 6.0)},
        {"high pass 24 kHz", Section(FilterType::HighPass, 24000, 0.7071)},
    };
    std::vector<float> noise(2 * 4096);
    for (size_t index = 0; index < noise.size(); ++index) {
        noise[index] = 0.5f * std::sin(0.7f * static_cast<float>(index * index % 977));
    }
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        kovra::PresetSettings preset;
        preset.sectionCount = 1;
        preset.sections[0] = c.section;
        for (double rate : {48000.0, 96000.0}) {
            kovra::FilterCascade cascade;
            cascade.configure(preset, rate);
            std::vector<float> frames = noise;
            cascade.process(frames.data(), static_cast<uint32_t>(frames.size() / 2));
            const bool realised = rate > 2.0 * c.section.frequencyHz;
            EXPECT_EQ(realised, kovra::IsRealisable(c.section, rate));
            EXPECT_EQ(!realised, cascade.passesThrough());
            EXPECT_EQ(!realised, frames == noise);
        }
    }
}

} // namespace
