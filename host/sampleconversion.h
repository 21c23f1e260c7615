// Sample conversion between the WAV encodings and the float stream of the audio engine.
#pragma once

#include "wavformat.h"

#include <cstddef>
#include <cstdint>

// Decodes `sampleCount` little-endian samples to float; integer PCM maps full scale to [-1, 1).
void DecodeSamples(const uint8_t* raw, SampleEncoding encoding, uint16_t containerBits,
                   size_t sampleCount, float* destination);

// The output encodings the host writes.
enum class OutputEncoding { Float32, Pcm16, Pcm24 };

uint16_t OutputContainerBits(OutputEncoding encoding);

// Encodes float samples. Integer output is rounded to nearest and clipped to full scale; NaN
// becomes 0. Returns the number of samples that had to be clipped.
size_t EncodeSamples(const float* samples, size_t sampleCount, OutputEncoding encoding,
                     uint8_t* raw);
