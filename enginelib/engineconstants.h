// Numbers every part of the engine agrees on. Constants only: the SIMD kernels built for other
// instruction sets include this too, and must not take in any code.
#ifndef KOVRA_ENGINECONSTANTS_H
#define KOVRA_ENGINECONSTANTS_H

#include <cstdint>

namespace kovra {

constexpr double kPi = 3.14159265358979323846;

// The sample rates an instance can be prepared for; Kovra_prepareToPlay refuses others, and
// every stage is sized for them.
constexpr int32_t kMinSampleRate = 8000;
constexpr int32_t kMaxSampleRate = 384000;

// Filters a preset may have: what a configuration file may give and the filter stage can run.
constexpr int kMaxSectionsPerPreset = 8;

} // namespace kovra

#endif
