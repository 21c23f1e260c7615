#include "signalanalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace kovra_test {

double ThdPlusN(const float* samples, size_t count, size_t stride, double frequencyHz,
                double sampleRate) {
    // Least squares fit of a sin + b cos + c: the normal equations, solved by Cramer's rule.
    const double step = 2.0 * 3.14159265358979323846 * frequencyHz / sampleRate;
    double ss = 0, sc = 0, s1 = 0, cc = 0, c1 = 0, ys = 0, yc = 0, y1 = 0, yy = 0;
    for (size_t n = 0; n < count; ++n) {
        const double s = std::sin(step * static_cast<double>(n));
        const double c = std::cos(step * static_cast<double>(n));
        const double y = samples[n * stride];
        ss += s * s, sc += s * c, s1 += s, cc += c * c, c1 += c;
        ys += y * s, yc += y * c, y1 += y, yy += y * y;
    }
    const double n = static_cast<double>(count);
    auto determinant = [](double a, double b, double c, double d, double e, double f, double g,
                          double h, double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const double d = determinant(ss, sc, s1, sc, cc, c1, s1, c1, n);
    const double a = determinant(ys, sc, s1, yc, cc, c1, y1, c1, n) / d;
    const double b = determinant(ss, ys, s1, sc, yc, c1, s1, y1, n) / d;
    const double dc = determinant(ss, sc, ys, sc, cc, yc, s1, c1, y1) / d;
    // The residual's energy, summed again rather than derived, so that it does not vanish in
    // the cancellation of two large sums.
    double residual = 0.0;
    for (size_t k = 0; k < count; ++k) {
        const double x = step * static_cast<double>(k);
        const double r = samples[k * stride] - (a * std::sin(x) + b * std::cos(x) + dc);
        residual += r * r;
    }
    return yy > 0.0 ? std::sqrt(residual / yy) : 0.0;
}

namespace {

constexpr int kPhases = 8;
constexpr int kHalfTaps = 16; // taps on either side of an interpolated position

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// kernel[p][t]: the weight of sample n - kHalfTaps + 1 + t in the value at n + p / 8, each phase
// scaled to pass DC exactly.
using InterpolationKernel = std::array<std::array<double, 2 * kHalfTaps>, kPhases>;

InterpolationKernel MakeKernel() {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kBeta = 8.0;
    InterpolationKernel kernel{};
    for (int phase = 1; phase < kPhases; ++phase) {
        double sum = 0.0;
        for (int tap = 0; tap < 2 * kHalfTaps; ++tap) {
            const double t = static_cast<double>(phase) / kPhases + kHalfTaps - 1 - tap;
            const double ratio = t / kHalfTaps;
            const double window =
                BesselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / BesselI0(kBeta);
            kernel[phase][tap] = window * std::sin(kPi * t) / (kPi * t);
            sum += kernel[phase][tap];
        }
        for (double& weight : kernel[phase]) {
            weight /= sum;
        }
    }
    return kernel;
}

// The value at n + phase / 8 of one channel of interleaved stereo.
double Interpolated(const InterpolationKernel& kernel, const float* stereo, size_t n, int phase,
                    int channel) {
    if (phase == 0) {
        return stereo[2 * n + channel];
    }
    const float* samples = stereo + 2 * (n - (kHalfTaps - 1)) + channel;
    double value = 0.0;
    for (int tap = 0; tap < 2 * kHalfTaps; ++tap) {
        value += kernel[phase][tap] * samples[2 * tap];
    }
    return value;
}

// The top of the parabola through three neighbouring magnitudes, the middle one the largest.
double ParabolaTop(double before, double middle, double after) {
    const double curvature = 2.0 * middle - before - after;
    return curvature > 0.0 ? middle + (after - before) * (after - before) / (8.0 * curvature)
                           : middle;
}

} // namespace

double TruePeak(const float* stereo, size_t frames) {
    static const InterpolationKernel kernel = MakeKernel();
    double largestGain = 1.0; // the most any phase can amplify: a bound to skip quiet stretches
    for (int phase = 1; phase < kPhases; ++phase) {
        double gain = 0.0;
        for (double weight : kernel[phase]) {
            gain += std::fabs(weight);
        }
        largestGain = std::max(largestGain, gain);
    }
    // 9/8 more for the parabola's top above the largest interpolated value.
    largestGain *= 9.0 / 8.0;
    double peak = 0.0;
    constexpr size_t kStretch = 64;
    const size_t first = kHalfTaps;
    const size_t end = frames > 2 * static_cast<size_t>(kHalfTaps) ? frames - kHalfTaps - 1 : 0;
    std::vector<double> values;
    for (size_t start = first; start < end; start += kStretch) {
        const size_t stop = std::min(end, start + kStretch);
        double nearby = 0.0;
        for (size_t index = 2 * (start - first); index < 2 * (stop + kHalfTaps + 1); ++index) {
            nearby = std::max(nearby, std::fabs(static_cast<double>(stereo[index])));
        }
        peak = std::max(peak, SamplePeak(stereo + 2 * start, stop - start));
        if (nearby * largestGain <= peak) {
            continue;
        }
        // The stretch upsampled, with one value more on either side, then each local top of the
        // magnitude refined by a parabola: what lies between the 8x values.
        for (int channel = 0; channel < 2; ++channel) {
            values.clear();
            values.push_back(
                std::fabs(Interpolated(kernel, stereo, start - 1, kPhases - 1, channel)));
            for (size_t frame = start; frame <= stop; ++frame) {
                for (int phase = 0; phase < kPhases && (frame < stop || phase == 0); ++phase) {
                    values.push_back(
                        std::fabs(Interpolated(kernel, stereo, frame, phase, channel)));
                }
            }
            for (size_t k = 1; k + 1 < values.size(); ++k) {
                if (values[k] >= values[k - 1] && values[k] >= values[k + 1]) {
                    peak = std::max(peak, ParabolaTop(values[k - 1], values[k], values[k + 1]));
                }
            }
        }
    }
    return peak;
}

double SamplePeak(const float* stereo, size_t frames) {
    double peak = 0.0;
    for (size_t index = 0; index < 2 * frames; ++index) {
        peak = std::max(peak, std::fabs(static_cast<double>(stereo[index])));
    }
    return peak;
}

} // namespace kovra_test
