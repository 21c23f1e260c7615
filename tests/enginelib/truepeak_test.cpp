// The limiter's true-peak detector against the independent 8x meter, in pieces as the limiter
// scans, and with both kernels (SSE2 and, where the processor has them, AVX2 with FMA); and which
// kernels this processor runs.
#include "enginetesting.h"
#include "filtercascade.h"
#include "processorfeatures.h"
#include "signalanalysis.h"
#include "truepeakdetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using kovra::TruePeakCarry;
using kovra::TruePeakDetector;

constexpr uint32_t kMargin = 64; // frames of silence before and after, for the detector's reach

// Interleaved stereo with silence around it; the signal starts at frame kMargin.
std::vector<float> Padded(const std::vector<float>& stereo) {
    std::vector<float> padded(stereo.size() + 4 * kMargin, 0.0f);
    std::copy(stereo.begin(), stereo.end(), padded.begin() + 2 * kMargin);
    return padded;
}

// The detector over a signal, scanned in runs of the given length as the limiter scans.
float Scan(kovra::TruePeakKernel kernel, const std::vector<float>& padded, uint32_t run) {
    const auto frames = static_cast<uint32_t>(padded.size() / 2 - 2 * kMargin);
    TruePeakCarry carry;
    float peak = 0.0f;
    for (uint32_t start = 0; start < frames; start += run) {
        const uint32_t count = std::min(run, frames - start);
        peak = std::max(peak, TruePeakDetector::PeakWith(
                                  kernel, padded.data() + 2 * (kMargin + start), count, carry));
    }
    return peak;
}

std::vector<kovra::TruePeakKernel> KernelsOfThisProcessor() {
    std::vector<kovra::TruePeakKernel> kernels = {kovra::ScanTruePeakSse2};
    if (kovra::ProcessorHasAvx2AndFma()) {
        kernels.push_back(kovra::ScanTruePeakAvx2Fma);
    }
    return kernels;
}

TEST(TruePeakDetector, TonesReadNoLowerThanTheirTruePeakNorMuchHigher) {
    // Both channels, at phases apart, over every frequency the rate carries up to 20 kHz.
    for (double rate : {48000.0, 96000.0}) {
        for (double frequency = 100.0; frequency <= 20000.0; frequency *= 1.19) {
            SCOPED_TRACE(std::to_string(frequency) + " Hz at " + std::to_string(rate));
            std::vector<float> stereo(2 * 2000);
            for (size_t frame = 0; frame < 2000; ++frame) {
                const double x = 2.0 * 3.14159265358979323846 * frequency * frame / rate;
                stereo[2 * frame] = static_cast<float>(0.9 * std::sin(x + 0.3));
                stereo[2 * frame + 1] = static_cast<float>(0.7 * std::sin(x + 2.0));
            }
            const std::vector<float> padded = Padded(stereo);
            const double truePeak = kovra_test::TruePeak(padded.data(), padded.size() / 2);
            for (kovra::TruePeakKernel kernel : KernelsOfThisProcessor()) {
                const double read = Scan(kernel, padded, 12);
                EXPECT_GE(kovra_test::ToDb(read / truePeak), -0.005);
                EXPECT_LE(kovra_test::ToDb(read / truePeak), 0.15);
            }
        }
    }
}

TEST(TruePeakDetector, RunsOfAnyLengthAndBothKernelsReadTheSame) {
    // Loud noise: the carry between runs and the tail of a run that is not a whole register
    // must not change what is read.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> stereo(2 * 3000);
    for (float& sample : stereo) {
        sample = noise(random);
    }
    const std::vector<float> padded = Padded(stereo);
    const float whole = Scan(kovra::ScanTruePeakSse2, padded, 3000);
    for (kovra::TruePeakKernel kernel : KernelsOfThisProcessor()) {
        for (uint32_t run : {1u, 2u, 3u, 5u, 11u, 12u, 24u, 480u}) {
            SCOPED_TRACE("runs of " + std::to_string(run));
            EXPECT_NEAR(whole, Scan(kernel, padded, run), 1e-6f * whole);
        }
    }
}

TEST(Kernels, TheFastestThisProcessorHasAreChosen) {
    // The tests that compare kernels run the AVX2 ones only where the processor has them; this
    // one says when it has not.
    const bool avx2 = kovra::ProcessorHasAvx2AndFma();
    EXPECT_EQ(avx2 ? kovra::ScanTruePeakAvx2Fma : kovra::ScanTruePeakSse2,
              TruePeakDetector::FastestKernel());
    EXPECT_EQ(avx2 ? kovra::RunCascadeAvx2Fma : kovra::RunCascadeSse2,
              kovra::FilterCascade::FastestKernel());
    if (!avx2) {
        GTEST_SKIP() << "this processor lacks AVX2 or FMA: only the SSE2 kernels were tested";
    }
}

} // namespace
