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
    sampleRate_ = sampleRate;
    channels_ = channels;
    return Kovra_prepareToPlay(handle_, sampleRate, channels, maxFrames, KovraSampleBytes_kFloat32,
                               KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
}

std::vector<float> Engine::process(const std::vector<float>& input, int channels) {
    const uint32_t frames = static_cast<uint32_t>(input.size() / channels);
    std::vector<float> output(2 * static_cast<size_t>(frames), -7.0f);
    Kovra_processBlock(handle_, input.data(), output.data(), frames);
    return output;
}

void Engine::pastFadeIn() {
    const size_t frames = static_cast<size_t>(sampleRate_) / 50; // 20 ms
    process(std::vector<float>(frames * static_cast<size_t>(channels_), 0.0f), channels_);
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

kovra::FilterSection Section(kovra::FilterType type, double frequencyHz, double q, double gainDb) {
    kovra::FilterSection section;
    section.type = type;
    section.frequencyHz = frequencyHz;
    section.q = q;
    section.gainDb = gainDb;
    return section;
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

AnalogSection AnalogPrototype(const kovra::FilterSection& section) {
    const double q = section.q;
    const double a = std::pow(10.0, section.gainDb / 40.0);
    const double root = std::sqrt(a);
    switch (section.type) {
    case kovra::FilterType::LowPass:
        return {{1.0, 0.0, 0.0}, {1.0, 1.0 / q, 1.0}};
    case kovra::FilterType::HighPass:
        return {{0.0, 0.0, 1.0}, {1.0, 1.0 / q, 1.0}};
    case kovra::FilterType::Peaking:
        return {{1.0, a / q, 1.0}, {1.0, 1.0 / (a * q), 1.0}};
    case kovra::FilterType::LowShelf:
        return {{a * a, a * root / q, a}, {1.0, root / q, a}};
    case kovra::FilterType::HighShelf:
        return {{a, a * root / q, a * a}, {a, root / q, 1.0}};
    }
    return {{1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}};
}

double AnalyticMagnitude(const kovra::FilterSection& section, double frequencyHz,
                         double sampleRate) {
    constexpr double kPi = 3.14159265358979323846;
    const double omega =
        std::tan(kPi * frequencyHz / sampleRate) / std::tan(kPi * section.frequencyHz / sampleRate);
    const std::complex<double> s(0.0, omega);
    const AnalogSection prototype = AnalogPrototype(section);
    auto polynomial = [&s](const double(&c)[3]) { return (c[2] * s + c[1]) * s + c[0]; };
    return std::abs(polynomial(prototype.numerator) / polynomial(prototype.denominator));
}

ReferenceCascade::ReferenceCascade(const kovra::PresetSettings& preset, double sampleRate)
    : preGain_(std::pow(10.0L, static_cast<long double>(preset.preGainDb) / 20.0L)) {
    constexpr long double kPi = 3.141592653589793238462643383279502884L;
    for (int index = 0; index < preset.sectionCount; ++index) {
        const AnalogSection prototype = AnalogPrototype(preset.sections[index]);
        // s = k (1 - 1/z) / (1 + 1/z), with k chosen so that the corner lands on the frequency.
        const long double k = 1.0L / std::tan(kPi * preset.sections[index].frequencyHz /
                                              static_cast<long double>(sampleRate));
        auto transform = [k](const double(&c)[3], long double(&out)[3]) {
            out[0] = c[2] * k * k + c[1] * k + c[0];
            out[1] = 2.0L * (c[0] - c[2] * k * k);
            out[2] = c[2] * k * k - c[1] * k + c[0];
        };
        Section section;
        transform(prototype.numerator, section.b);
        transform(prototype.denominator, section.a);
        sections_.push_back(section);
    }
}

std::vector<double> ReferenceCascade::process(const std::vector<float>& frames) {
    std::vector<double> output(frames.size());
    for (size_t index = 0; index < frames.size(); ++index) {
        const int channel = static_cast<int>(index % 2);
        long double x = preGain_ * frames[index];
        for (Section& s : sections_) {
            long double(&in)[2] = s.input[channel];
            long double(&out)[2] = s.output[channel];
            const long double y =
                (s.b[0] * x + s.b[1] * in[0] + s.b[2] * in[1] - s.a[1] * out[0] - s.a[2] * out[1]) /
                s.a[0];
            in[1] = in[0];
            in[0] = x;
            out[1] = out[0];
            out[0] = y;
            x = y;
        }
        output[index] = static_cast<double>(x);
    }
    return output;
}

double DifferenceDb(const std::vector<float>& signal, const std::vector<double>& reference) {
    double difference = 0.0;
    double power = 0.0;
    for (size_t index = 0; index < reference.size(); ++index) {
        difference += (signal[index] - reference[index]) * (signal[index] - reference[index]);
        power += reference[index] * reference[index];
    }
    return 10.0 * std::log10(difference / power);
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
