// responsetool: measures the magnitude response of the registered effect from its output for
// an impulse, beside the response its engine configuration is designed to have.
//   responsetool probe OUT.wav CHANNELS RATE
//       a float WAV: an impulse in the front pair (FL and FR) 100 ms in, and below it a floor at
//       -600 dBFS in every sample, so no period is digital silence (which the effect passes as
//       silence without running its filters, and so would cut their ring-out short)
//   responsetool measure EFFECT-OUTPUT.wav CHANNELS RATE PRESET
//       lines "FREQUENCY MEASURED_DB DESIGNED_DB" of the left output, for log-spaced
//       frequencies from 10 Hz to 20 kHz (or 45 % of the rate); on stderr the largest
//       difference between the two
#include "biquad.h"
#include "configfile.h"
#include "enginesettings.h"
#include "kovraids.h"
#include "presettracker.h"
#include "wavreader.h"
#include "wavwriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kImpulse = 0.1f; // -20 dBFS: far below every limiter ceiling after the filters
constexpr float kFloor = 1e-30f;
constexpr double kImpulseSeconds = 0.1;
constexpr double kProbeSeconds = 1.6; // the impulse, then 1.5 s of ring-out
constexpr int kPoints = 200;

int Fail(const std::string& message) {
    std::fprintf(stderr, "responsetool: %s\n", message.c_str());
    return 1;
}

uint32_t ImpulseFrame(uint32_t rate) {
    return static_cast<uint32_t>(kImpulseSeconds * rate);
}

int WriteProbe(const std::wstring& path, uint16_t channels, uint32_t rate) {
    const size_t frames = static_cast<size_t>(kProbeSeconds * rate);
    std::vector<float> samples(frames * channels, kFloor);
    samples[static_cast<size_t>(ImpulseFrame(rate)) * channels] = kImpulse;     // FL
    samples[static_cast<size_t>(ImpulseFrame(rate)) * channels + 1] = kImpulse; // FR
    WavWriter writer;
    std::string error;
    if (!writer.Create(path, channels, rate, OutputEncoding::Float32, error) ||
        !writer.Write(samples.data(), frames, error) || !writer.Finish(error)) {
        return Fail(error);
    }
    return 0;
}

// The designed magnitude from FL to the left output: the fold-down gain, then the preset's
// pre-gain and sections where the configuration runs them.
double DesignedMagnitude(const kovra::EngineSettings& settings, uint32_t channels, uint32_t preset,
                         double frequency, double rate) {
    const int index =
        kovra::ConfigurationIndexFromName(ConfigurationName(channels, preset).c_str());
    const kovra::ConfigurationSettings& configuration = settings.configurations[index];
    double magnitude = std::fabs(configuration.left[0]);
    if (configuration.filtersEnabled) {
        const kovra::PresetSettings& chain = settings.presets[preset];
        magnitude *= std::pow(10.0, chain.preGainDb / 20.0);
        for (int section = 0; section < chain.sectionCount; ++section) {
            magnitude *= kovra::BiquadMagnitude(kovra::DesignBiquad(chain.sections[section], rate),
                                                frequency, rate);
        }
    }
    return magnitude;
}

// |sum h[n] e^(-i w n)| by a rotating phasor, renormalised now and then.
double MeasuredMagnitude(const std::vector<double>& response, double frequency, double rate) {
    const double step = -2.0 * kPi * frequency / rate;
    double real = 0.0, imaginary = 0.0;
    double cosine = 1.0, sine = 0.0;
    const double stepCosine = std::cos(step), stepSine = std::sin(step);
    for (size_t n = 0; n < response.size(); ++n) {
        real += response[n] * cosine;
        imaginary += response[n] * sine;
        const double nextCosine = cosine * stepCosine - sine * stepSine;
        sine = sine * stepCosine + cosine * stepSine;
        cosine = nextCosine;
        if (n % 4096 == 0) {
            const double length = std::hypot(cosine, sine);
            cosine /= length;
            sine /= length;
        }
    }
    return std::hypot(real, imaginary);
}

double Db(double magnitude) {
    return 20.0 * std::log10(std::max(magnitude, 1e-12));
}

int Measure(const std::wstring& path, uint32_t channels, uint32_t rate, uint32_t preset) {
    WavReader reader;
    std::string error;
    if (!OpenWavFile(reader, path, error)) {
        return Fail(error);
    }
    if (reader.Format().channels != 2 || reader.Format().sampleRate != rate) {
        return Fail("the effect's output is not stereo at the probe's rate");
    }
    const size_t frames = reader.FramesLeft();
    std::vector<float> output(2 * frames);
    if (reader.ReadFrames(output.data(), frames, error) != frames || frames <= ImpulseFrame(rate)) {
        return Fail(error.empty() ? "the effect's output is short" : error);
    }
    // From the impulse on; a delay (the limiter's look-ahead) leaves the magnitude as it is.
    std::vector<double> response;
    for (size_t frame = ImpulseFrame(rate); frame < frames; ++frame) {
        response.push_back(output[2 * frame] / kImpulse);
    }
    const kovra::LoadOutcome settings = kovra::LoadConfigurationFile(kEngineConfigurationPath);
    const double top = std::min(20000.0, 0.45 * rate);
    double largestDifference = 0.0;
    for (int point = 0; point < kPoints; ++point) {
        const double frequency = 10.0 * std::pow(top / 10.0, point / (kPoints - 1.0));
        const double measured = Db(MeasuredMagnitude(response, frequency, rate));
        const double designed =
            Db(DesignedMagnitude(settings.settings, channels, preset, frequency, rate));
        largestDifference = std::max(largestDifference, std::fabs(measured - designed));
        std::printf("%.3f %.4f %.4f\n", frequency, measured, designed);
    }
    std::fprintf(stderr, "%u channels, preset %u (\"%s\"): measured within %.1e dB of the design\n",
                 channels, preset, ConfigurationName(channels, preset).c_str(), largestDifference);
    return 0;
}

uint32_t Number(const wchar_t* text) {
    return static_cast<uint32_t>(std::wcstoul(text, nullptr, 10));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"probe" && argc == 5) {
        return WriteProbe(argv[2], static_cast<uint16_t>(Number(argv[3])), Number(argv[4]));
    }
    if (command == L"measure" && argc == 6) {
        return Measure(argv[2], Number(argv[3]), Number(argv[4]), Number(argv[5]));
    }
    std::fputs("usage: responsetool probe OUT.wav CHANNELS RATE\n"
               "       responsetool measure EFFECT-OUTPUT.wav CHANNELS RATE PRESET\n",
               stderr);
    return 2;
}
