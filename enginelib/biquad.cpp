#include "biquad.h"

#include "engineconstants.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace kovra {
namespace {

struct Prototype {
    double cosW0;
    double alpha;
    double amplitude; // 10^(gain/40): square root of the linear gain
};

Prototype PrototypeOf(const FilterSection& section, double sampleRate) {
    const double frequency = std::max(section.frequencyHz, 1.0);
    const double w0 = 2.0 * kPi * frequency / sampleRate;
    const double q = std::max(section.q, 1e-3);
    return {std::cos(w0), std::sin(w0) / (2.0 * q), std::pow(10.0, section.gainDb / 40.0)};
}

BiquadCoefficients Normalise(double b0, double b1, double b2, double a0, double a1, double a2) {
    BiquadCoefficients c;
    c.b0 = b0 / a0;
    c.b1 = b1 / a0;
    c.b2 = b2 / a0;
    c.a1 = a1 / a0;
    c.a2 = a2 / a0;
    return c;
}

BiquadCoefficients Peaking(const Prototype& p) {
    return Normalise(1.0 + p.alpha * p.amplitude, -2.0 * p.cosW0, 1.0 - p.alpha * p.amplitude,
                     1.0 + p.alpha / p.amplitude, -2.0 * p.cosW0, 1.0 - p.alpha / p.amplitude);
}

BiquadCoefficients LowPass(const Prototype& p) {
    const double b = (1.0 - p.cosW0) / 2.0;
    return Normalise(b, 2.0 * b, b, 1.0 + p.alpha, -2.0 * p.cosW0, 1.0 - p.alpha);
}

BiquadCoefficients HighPass(const Prototype& p) {
    const double b = (1.0 + p.cosW0) / 2.0;
    return Normalise(b, -2.0 * b, b, 1.0 + p.alpha, -2.0 * p.cosW0, 1.0 - p.alpha);
}

BiquadCoefficients LowShelf(const Prototype& p) {
    const double a = p.amplitude;
    const double k = 2.0 * std::sqrt(a) * p.alpha;
    return Normalise(a * ((a + 1.0) - (a - 1.0) * p.cosW0 + k),
                     2.0 * a * ((a - 1.0) - (a + 1.0) * p.cosW0),
                     a * ((a + 1.0) - (a - 1.0) * p.cosW0 - k), (a + 1.0) + (a - 1.0) * p.cosW0 + k,
                     -2.0 * ((a - 1.0) + (a + 1.0) * p.cosW0), (a + 1.0) + (a - 1.0) * p.cosW0 - k);
}

BiquadCoefficients HighShelf(const Prototype& p) {
    const double a = p.amplitude;
    const double k = 2.0 * std::sqrt(a) * p.alpha;
    return Normalise(a * ((a + 1.0) + (a - 1.0) * p.cosW0 + k),
                     -2.0 * a * ((a - 1.0) + (a + 1.0) * p.cosW0),
                     a * ((a + 1.0) + (a - 1.0) * p.cosW0 - k), (a + 1.0) - (a - 1.0) * p.cosW0 + k,
                     2.0 * ((a - 1.0) - (a + 1.0) * p.cosW0), (a + 1.0) - (a - 1.0) * p.cosW0 - k);
}

} // namespace

bool IsRealisable(const FilterSection& section, double sampleRate) {
    return section.frequencyHz < 0.5 * sampleRate;
}

BiquadCoefficients DesignBiquad(const FilterSection& section, double sampleRate) {
    if (!IsRealisable(section, sampleRate)) {
        return BiquadCoefficients{};
    }
    const Prototype prototype = PrototypeOf(section, sampleRate);
    switch (section.type) {
    case FilterType::Peaking:
        return Peaking(prototype);
    case FilterType::LowShelf:
        return LowShelf(prototype);
    case FilterType::HighShelf:
        return HighShelf(prototype);
    case FilterType::LowPass:
        return LowPass(prototype);
    case FilterType::HighPass:
        return HighPass(prototype);
    }
    return BiquadCoefficients{};
}

double BiquadMagnitude(const BiquadCoefficients& c, double frequencyHz, double sampleRate) {
    const double w = 2.0 * kPi * frequencyHz / sampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> numerator = c.b0 + c.b1 * z1 + c.b2 * z2;
    const std::complex<double> denominator = 1.0 + c.a1 * z1 + c.a2 * z2;
    return std::abs(numerator / denominator);
}

} // namespace kovra
