#include "truepeakdetector.h"

#include "engineconstants.h"
#include "processorfeatures.h"

#include <algorithm>
#include <cmath>

namespace kovra {
namespace {

constexpr int kTaps = TruePeakWeights::kTaps;
constexpr int kHalfTaps = TruePeakWeights::kHalfTaps;

double BesselI0(double x) {
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// The weights of the point `quarters` quarters after sample n, for samples n - kHalfTaps + 1 on,
// scaled to pass DC exactly.
void PointWeights(int quarters, double (&weights)[kTaps]) {
    // The window's trade of the sinc's reach against ripple, chosen on the limiter's test
    // material: white noise and clipped masters, whose true peaks lie near half the rate.
    constexpr double kBeta = 5.0;
    double sum = 0.0;
    for (int tap = 0; tap < kTaps; ++tap) {
        const double t = quarters / 4.0 + kHalfTaps - 1 - tap; // distance to the sample
        const double ratio = t / kHalfTaps;
        const double window =
            BesselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / BesselI0(kBeta);
        weights[tap] = window * std::sin(kPi * t) / (kPi * t);
        sum += weights[tap];
    }
    for (double& weight : weights) {
        weight /= sum;
    }
}

struct Design {
    TruePeakWeights weights;
    float gain; // the largest sum of magnitudes of a point's weights, at least 1
};

Design MakeDesign() {
    double quarter[kTaps];
    double half[kTaps];
    PointWeights(1, quarter);
    PointWeights(2, half);
    Design design{};
    double gain = 1.0;
    double quarterGain = 0.0;
    double halfGain = 0.0;
    for (int tap = 0; tap < kHalfTaps; ++tap) {
        const int mirror = kTaps - 1 - tap;
        // The three-quarter point's weights are the quarter point's, mirrored.
        std::fill_n(design.weights.half[tap], 4, static_cast<float>(half[tap]));
        std::fill_n(design.weights.even[tap], 4,
                    static_cast<float>(0.5 * (quarter[tap] + quarter[mirror])));
        std::fill_n(design.weights.odd[tap], 4,
                    static_cast<float>(0.5 * (quarter[tap] - quarter[mirror])));
        quarterGain += std::fabs(quarter[tap]) + std::fabs(quarter[mirror]);
        halfGain += std::fabs(half[tap]) + std::fabs(half[mirror]);
    }
    gain = std::max({gain, quarterGain, halfGain});
    design.gain = static_cast<float>(gain * 1.001); // the float weights' rounding
    return design;
}

// Worked out and chosen once when the library loads, never on the real-time thread.
const Design kDesign = MakeDesign();
const TruePeakKernel kFastestKernel =
    ProcessorHasAvx2AndFma() ? ScanTruePeakAvx2Fma : ScanTruePeakSse2;

} // namespace

float TruePeakDetector::Peak(const float* frames, uint32_t count, TruePeakCarry& carry) {
    return kFastestKernel(kDesign.weights, frames, count, carry);
}

float TruePeakDetector::PeakWith(TruePeakKernel kernel, const float* frames, uint32_t count,
                                 TruePeakCarry& carry) {
    return kernel(kDesign.weights, frames, count, carry);
}

float TruePeakDetector::Gain() {
    // A point reaches `gain` times the samples, its neighbours' difference twice that.
    return 1.25f * kDesign.gain;
}

TruePeakKernel TruePeakDetector::FastestKernel() {
    return kFastestKernel;
}

} // namespace kovra
