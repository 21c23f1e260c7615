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
    KovraResult load(int32_t preset) { return Kovra_Ambrel_loadFilter(handle_, preset); }
    // Processes interleaved input of `channels` channels; returns the stereo output.
    std::vector<float> process(const std::vector<float>& input, int channels);
    // The same, followed by the instance's latency in silence, and with that latency taken off
    // the front of the output: output frame n belongs to input frame n.
    std::vector<float> processAligned(const std::vector<float>& input, int channels);
    uint32_t latency() const;

private:
    KovraHandle handle_ = nullptr;
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

// Magnitude at a frequency of a (decayed) impulse response, by a direct Fourier sum.
double MagnitudeAt(const std::vector<double>& impulseResponse, double frequencyHz,
                   double sampleRate);

double ToDb(double magnitude);

// The magnitude that a section is designed to have, worked out in double from its analog
// prototype: the bilinear transform maps a frequency f to the analog frequency tan(pi f / fs),
// and with the design frequency pre-warped the prototype's magnitude at the ratio of the two is
// exact. Independent of the library's own design code.
double AnalyticMagnitude(const kovra::FilterSection& section, double frequencyHz,
                         double sampleRate);

// The path of the configuration file that ships with the project.
std::string ShippedConfigurationPath();

} // namespace kovra_test

#endif
