// The whole chain through the C interface: the default presets' responses, the limiter, state
// handling across blocks, and exact zeros in silence.
#include "enginesettings.h"
#include "enginetesting.h"
#include "limitersignals.h"
#include "signalanalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using kovra_test::Engine;

// The designed response of a preset: its pre-gain times each section's analytic magnitude.
double DesignedMagnitude(const kovra::PresetSettings& preset, double frequency, double rate) {
    double magnitude = std::pow(10.0, preset.preGainDb / 20.0);
    for (int index = 0; index < preset.sectionCount; ++index) {
        magnitude *= kovra_test::AnalyticMagnitude(preset.sections[index], frequency, rate);
    }
    return magnitude;
}

std::vector<float> Sine(int channels, size_t frames, double frequency, double rate,
                        float amplitude) {
    std::vector<float> samples(static_cast<size_t>(channels) * frames);
    for (size_t frame = 0; frame < frames; ++frame) {
        const float value =
            amplitude * static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * frequency *
                                                    static_cast<double>(frame) / rate));
        for (int channel = 0; channel < channels; ++channel) {
            samples[frame * channels + channel] = value;
        }
    }
    return samples;
}

TEST(Processing, DefaultPresetsMeasureAsDesigned) {
    constexpr float kImpulse = 0.05f; // small enough that the limiter never acts
    const double frequencies[] = {40, 100, 250, 450, 1000, 2800, 3200, 6000, 9000, 12000, 16000};
    // The front pair alone reaches the output, with its fold-down gain, in every layout that
    // filters.
    for (const auto& [configuration, channels] :
         std::vector<std::pair<const char*, int>>{{"2_ch", 2}, {"6_ch", 6}, {"8_ch", 8}}) {
        for (int32_t rate : {48000, 96000}) {
            for (int preset = 0; preset < kovra::kPresetCount; ++preset) {
                Engine engine(configuration);
                ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, channels, 480));
                ASSERT_EQ(KovraResult_kOk, engine.load(preset));
                engine.pastFadeIn();
                std::vector<float> input(static_cast<size_t>(channels) * rate, 0.0f);
                input[0] = kImpulse;
                input[1] = kImpulse;
                const std::vector<float> output = engine.process(input, channels);
                std::vector<double> response(static_cast<size_t>(rate));
                const float front =
                    kovra::BuiltInSettings()
                        .configurations[kovra::ConfigurationIndexFromName(configuration)]
                        .left[0];
                for (size_t n = 0; n < response.size(); ++n) {
                    response[n] = output[2 * n] / (kImpulse * front);
                    ASSERT_EQ(output[2 * n], output[2 * n + 1]);
                }
                for (double frequency : frequencies) {
                    SCOPED_TRACE(std::string(configuration) + " preset " + std::to_string(preset) +
                                 " at " + std::to_string(frequency) + " Hz, " +
                                 std::to_string(rate));
                    const double designed = DesignedMagnitude(
                        kovra::BuiltInSettings().presets[preset], frequency, rate);
                    EXPECT_NEAR(
                        kovra_test::ToDb(designed),
                        kovra_test::ToDb(kovra_test::MagnitudeAt(response, frequency, rate)), 0.1);
                }
            }
        }
    }
}

TEST(Processing, NoConfigurationOrPresetGoesOverItsCeilingBetweenSamples) {
    // Tones up to 20 kHz at every phase, square waves, clipped masters and noise, all far over
    // full scale, in every configuration and preset: the output's true peak, measured
    // independently, stays within 0.1 dB of the preset's ceiling (a clamp of the samples alone
    // leaves the true peak of a clipped waveform well above it), and reaches it. Only the stereo
    // bypass passes its input as it is.
    const struct {
        const char* configuration;
        int channels;
    } configurations[] = {{"2_ch", 2},        {"2_ch_bypass", 2}, {"6_ch", 6},
                          {"6_ch_bypass", 6}, {"8_ch", 8},        {"8_ch_bypass", 8}};
    for (int32_t rate : {48000, 96000}) {
        const std::vector<kovra_test::NamedSignal> corpus = kovra_test::TruePeakCorpus(rate, 0.1);
        for (const auto& c : configurations) {
            for (int preset = 0; preset < kovra::kPresetCount; ++preset) {
                const bool bypass = std::string(c.configuration) == "2_ch_bypass" && preset == 2;
                const double ceilingDb = kovra::BuiltInSettings().presets[preset].limiter.ceilingDb;
                double loudest = -100.0;
                for (const kovra_test::NamedSignal& signal : corpus) {
                    SCOPED_TRACE(std::string(c.configuration) + " preset " +
                                 std::to_string(preset) + " at " + std::to_string(rate) + ": " +
                                 signal.name);
                    Engine engine(c.configuration);
                    ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, c.channels, rate / 100));
                    ASSERT_EQ(KovraResult_kOk, engine.load(preset));
                    engine.pastFadeIn();
                    const std::vector<float> output = engine.process(
                        kovra_test::SpreadToChannels(signal.stereo, c.channels), c.channels);
                    if (bypass) {
                        ASSERT_EQ(signal.stereo, output);
                        continue;
                    }
                    const double truePeakDb =
                        kovra_test::ToDb(kovra_test::TruePeak(output.data(), output.size() / 2));
                    EXPECT_LE(truePeakDb, ceilingDb + 0.1);
                    loudest = std::max(loudest, truePeakDb);
                }
                if (!bypass) {
                    EXPECT_GT(loudest, ceilingDb - 0.1); // limited, not silenced
                }
            }
        }
    }
}

TEST(Processing, OversizedBlockEqualsTheSameSamplesInPreparedPieces) {
    for (const auto& [configuration, channels] :
         std::vector<std::pair<const char*, int>>{{"2_ch", 2}, {"6_ch", 6}, {"8_ch", 8}}) {
        SCOPED_TRACE(configuration);
        const std::vector<float> input = Sine(channels, 1000, 440.0, 48000, 0.8f);
        Engine whole(configuration);
        ASSERT_EQ(KovraResult_kOk, whole.prepare(48000, channels, 96));
        const std::vector<float> oneCall = whole.process(input, channels); // ten pieces and more
        Engine pieces(configuration);
        ASSERT_EQ(KovraResult_kOk, pieces.prepare(48000, channels, 96));
        std::vector<float> inPieces;
        for (size_t start = 0; start < 1000; start += 96) {
            const size_t count = std::min<size_t>(96, 1000 - start);
            const std::vector<float> piece(input.begin() + start * channels,
                                           input.begin() + (start + count) * channels);
            const std::vector<float> output = pieces.process(piece, channels);
            inPieces.insert(inPieces.end(), output.begin(), output.end());
        }
        ASSERT_EQ(oneCall.size(), inPieces.size());
        EXPECT_EQ(0, std::memcmp(oneCall.data(), inPieces.data(), oneCall.size() * sizeof(float)));
    }
}

TEST(Processing, ResetClearsFilterAndLimiterState) {
    Engine engine("2_ch");
    ASSERT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 480));
    // Over the ceiling, so that the limiter acts on the probe too.
    const std::vector<float> probe = Sine(2, 480, 1000.0, 48000, 2.0f);
    const std::vector<float> fresh = engine.process(probe, 2);
    engine.process(Sine(2, 480, 50.0, 48000, 8.0f), 2); // fills filters, pulls the limiter down
    ASSERT_EQ(KovraResult_kOk, Kovra_reset(engine.handle()));
    EXPECT_EQ(fresh, engine.process(probe, 2));
}

TEST(Processing, StateDecaysToExactZeroAfterABurstWithoutDenormals) {
    for (const char* configuration : {"2_ch", "6_ch", "8_ch"}) {
        for (int preset = 0; preset < kovra::kPresetCount; ++preset) {
            SCOPED_TRACE(std::string(configuration) + " preset " + std::to_string(preset));
            const int channels = configuration[0] - '0';
            Engine engine(configuration);
            ASSERT_EQ(KovraResult_kOk, engine.prepare(96000, channels, 960));
            ASSERT_EQ(KovraResult_kOk, engine.load(preset));
            engine.process(Sine(channels, 960, 37.0, 96000, 2.0f), channels);
            // Two seconds of silence: a 20 Hz corner's memory falls below the smallest normal
            // float in about one.
            const std::vector<float> silence(static_cast<size_t>(channels) * 960, 0.0f);
            std::vector<float> output;
            for (int block = 0; block < 200; ++block) {
                output = engine.process(silence, channels);
                for (float sample : output) {
                    ASSERT_TRUE(sample == 0.0f || std::fabs(sample) >= FLT_MIN) << sample;
                }
            }
            for (float sample : output) {
                ASSERT_EQ(0.0f, sample);
            }
        }
    }
}

} // namespace
