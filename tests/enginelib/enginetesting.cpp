#include "enginetesting.h"

#include <chrono>
#include <cmath>
#include <complex>
#include <fstream>
#include <random>

namespace kovra_test {

Engine::Engine(const char* configurationName) {
    Kovra_create(&handle_, Kovra_getConfigIndexFromName(configurationName));
}

Engine::~Engine() {
    if (handle_ != nullptr) {
        Kovra_destroy(handle_);
    }
}

KovraResult Engine::prepare(int32_t sampleRate, int32_t channels, int32_t maxFrames) {
    return Kovra_prepareToPlay(handle_, sampleRate, channels, maxFrames, KovraSampleBytes_kFloat32,
                               KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
}

std::vector<float> Engine::process(const std::vector<float>& input, int channels) {
    const uint32_t frames = static_cast<uint32_t>(input.size() / channels);
    std::vector<float> output(2 * static_cast<size_t>(frames), -7.0f);
    Kovra_processBlock(handle_, input.data(), output.data(), frames);
    return output;
}

std::vector<float> Engine::processAligned(const std::vector<float>& input, int channels) {
    const size_t lag = latency();
    std::vector<float> padded = input;
    padded.resize(input.size() + lag * channels, 0.0f);
    std::vector<float> output = process(padded, channels);
    output.erase(output.begin(), output.begin() + 2 * lag);
    return output;
}

uint32_t Engine::latency() const {
    uint32_t frames = 0;
    Kovra_getLatency(handle_, &frames);
    return frames;
}

TempFolder::TempFolder() {
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("kovra_enginelib_" + std::to_string(stamp) + "_" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::pathOf(const std::string& name) const {
    return (path_ / name).string();
}

std::string TempFolder::write(const std::string& name, const std::string& content) const {
    const std::string path = pathOf(name);
    std::ofstream file(path, std::ios::binary);
    file << content;
    return path;
}

BuiltInSettingsAfterwards::~BuiltInSettingsAfterwards() {
    // A refused initialisation puts the built-in settings in force.
    Kovra_initialize(nullptr);
}

double MagnitudeAt(const std::vector<double>& impulseResponse, double frequencyHz,
                   double sampleRate) {
    const double step = -2.0 * 3.14159265358979323846 * frequencyHz / sampleRate;
    double real = 0.0;
    double imaginary = 0.0;
    for (size_t n = 0; n < impulseResponse.size(); ++n) {
        real += impulseResponse[n] * std::cos(step * static_cast<double>(n));
        imaginary += impulseResponse[n] * std::sin(step * static_cast<double>(n));
    }
    return std::hypot(real, imaginary);
}

double ToDb(double magnitude) {
    return 20.0 * std::log10(magnitude);
}

double AnalyticMagnitude(const kovra::FilterSection& section, double frequencyHz,
                         double sampleRate) {
    constexpr double kPi = 3.14159265358979323846;
    const double omega =
        std::tan(kPi * frequencyHz / sampleRate) / std::tan(kPi * section.frequencyHz / sampleRate);
    const std::complex<double> s(0.0, omega);
    const double q = section.q;
    const double a = std::pow(10.0, section.gainDb / 40.0);
    const double root = std::sqrt(a);
    std::complex<double> h;
    switch (section.type) {
    case kovra::FilterType::LowPass:
        h = 1.0 / (s * s + s / q + 1.0);
        break;
    case kovra::FilterType::HighPass:
        h = s * s / (s * s + s / q + 1.0);
        break;
    case kovra::FilterType::Peaking:
        h = (s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0);
        break;
    case kovra::FilterType::LowShelf:
        h = a * (s * s + s * (root / q) + a) / (a * s * s + s * (root / q) + 1.0);
        break;
    case kovra::FilterType::HighShelf:
        h = a * (a * s * s + s * (root / q) + 1.0) / (s * s + s * (root / q) + a);
        break;
    }
    return std::abs(h);
}

std::string ShippedConfigurationPath() {
#ifdef _WIN32
    // Wine shows the Linux file system as drive Z:.
    return std::string("Z:") + KOVRA_SHIPPED_CONFIG;
#else
    return KOVRA_SHIPPED_CONFIG;
#endif
}

} // namespace kovra_test
