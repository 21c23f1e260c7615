// The numbers a stereo biquad cascade runs on, laid out for the SIMD kernels: every value twice
// (left and right), and each coefficient of consecutive sections side by side, so that one
// 128-bit register holds one section's pair and one 256-bit register two sections' pairs.
// Plain data with no Windows or instruction-set header, shared by every kernel.
#ifndef KOVRA_CASCADEDATA_H
#define KOVRA_CASCADEDATA_H

#include "engineconstants.h"

#include <cstdint>

namespace kovra {

// As many sections as a preset may have filters. A kernel that takes sections two at a time pads
// an odd count with a pass-through section, so the capacity stays even.
constexpr int kMaxCascadeSections = kMaxSectionsPerPreset;
static_assert(kMaxCascadeSections % 2 == 0, "the AVX2 kernel takes sections in pairs");

enum CascadeCoefficient { kB0, kB1, kB2, kA1, kA2, kCoefficientCount };

struct CascadeData {
    // [coefficient][section][channel] of H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
    alignas(16) double coefficients[kCoefficientCount][kMaxCascadeSections][2];
    // Transposed direct form II memories, [section][channel], in double: their rounding is what
    // limits a float cascade at low corner frequencies.
    alignas(16) double z1[kMaxCascadeSections][2];
    alignas(16) double z2[kMaxCascadeSections][2];
    int sectionCount = 0; // sections that run; those above it pass their input through
};

// Filters interleaved stereo float frames in place through data's sections, in double.
using CascadeKernel = void (*)(CascadeData& data, float* frames, uint32_t frameCount);

// The kernels: SSE2 runs everywhere on x86-64; AVX2 with FMA needs a processor that has both.
void RunCascadeSse2(CascadeData& data, float* frames, uint32_t frameCount);
void RunCascadeAvx2Fma(CascadeData& data, float* frames, uint32_t frameCount);

} // namespace kovra

#endif
