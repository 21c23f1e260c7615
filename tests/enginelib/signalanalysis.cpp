#include "signalanalysis.h"

#include <cmath>

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

} // namespace kovra_test
