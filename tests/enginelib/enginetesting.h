// Helpers shared by the engine library's tests: an engine instance that cleans up after
// itself, a temporary folder, settings that are put back, and a frequency-response probe.
#ifndef KOVRA_ENGINETESTING_H
#define KOVRA_ENGINETESTING_H

#include "enginesettings.h"
#include "kovraengine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kovra_test {

// One engine instance, created by configuration name and destroyed with the object.
class Engine {
public:
    explicit Engine(const char* configurationName);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    KovraHandle handle() const { return handle_; }
    KovraResult prepare(int32_t sampleRate, int32_t channels, int32_t maxFrames);
    // Runs the prepared instance through its fade-in on silence, so what follows is the
    // instance's steady sound.
    void pastFadeIn();
    KovraResult load(int32_t preset) { return Kovra_Ambrel_loadFilter(handle_, preset); }
    // Processes interleaved input of `channels` channels; returns the stereo output.
    std::vector<float> process(const std::vector<float>& input, int channels);
    // The same, followed by the instance's latency in silence, and with that latency taken off
    // the front of the output: output frame n belongs to input frame n.
    std::vector<float> processAligned(const std::vector<float>& input, int channels);
    uint32_t latency() const;

private:
    KovraHandle handle_ = nullptr;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
};

// A folder of its own under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string write(const std::string& name, const std::string& content) const;
    std::string pathOf(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Puts the built-in settings back when a test that loads a configuration file ends.
class BuiltInSettingsAfterwards {
public:
    ~BuiltInSettingsAfterwards();
};

// A filter section as a configuration line describes it.
kovra::FilterSection Section(kovra::FilterType type, double frequencyHz, double q,
                             double gainDb = 0.0);

// Magnitude at a frequency of a (decayed) impulse response, by a direct Fourier sum.
double MagnitudeAt(const std::vector<double>& impulseResponse, double frequencyHz,
                   double sampleRate);

double ToDb(double magnitude);

// A section's analog prototype with its corner at 1 rad/s:
//   H(s) = (numerator[2] s^2 + numerator[1] s + numerator[0]) / (denominator[2] s^2 + ...).
struct AnalogSection {
    double numerator[3];
    double denominator[3];
};
AnalogSection AnalogPrototype(const kovra::FilterSection& section);

// The magnitude that a section is designed to have, worked out in double from its analog
// prototype: the bilinear transform maps a frequency f to the analog frequency tan(pi f / fs),
// and with the design frequency pre-warped the prototype's magnitude at the ratio of the two is
// exact. Independent of the library's own design code.
double AnalyticMagnitude(const kovra::FilterSection& section, double frequencyHz,
                         double sampleRate);

// A preset's pre-gain and sections as the bilinear transform of their analog prototypes, run
// sample by sample in direct form I with long double arithmetic: a reference for the library's
// filters that shares none of their code, topology or precision.
class ReferenceCascade {
public:
    ReferenceCascade(const kovra::PresetSettings& preset, double sampleRate);
    // Filters interleaved stereo frames.
    std::vector<double> process(const std::vector<float>& frames);

private:
    struct Section {
        long double b[3];
        long double a[3];
        long double input[2][2] = {{0, 0}, {0, 0}};  // [channel][x(n-1), x(n-2)]
        long double output[2][2] = {{0, 0}, {0, 0}}; // [channel][y(n-1), y(n-2)]
    };
    long double preGain_;
    std::vector<Section> sections_;
};

// Level of the difference between a signal and its reference, in dB against the reference.
double DifferenceDb(const std::vector<float>& signal, const std::vector<double>& reference);

// The path of the configuration file that ships with the project.
std::string ShippedConfigurationPath();

} // namespace kovra_test

#endif
