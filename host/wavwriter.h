// Writes the host's output: interleaved float frames as a WAV file of 32-bit float or 16/24-bit
// PCM; a file past 4 GiB becomes RF64. The samples go to "<path>.partial" first; Finish fills in
// the sizes and only then puts the file in place, so a failed run neither leaves a WAV that looks
// complete nor destroys a file that was there before.
#pragma once

#include "sampleconversion.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();

    bool Create(const std::wstring& path, uint16_t channels, uint32_t sampleRate,
                OutputEncoding encoding, std::string& error);
    bool Write(const float* samples, size_t frameCount, std::string& error);
    // Writes the final sizes and closes the file.
    bool Finish(std::string& error);

    uint64_t FramesWritten() const { return framesWritten; }
    uint64_t ClippedSamples() const { return clippedSamples; }

    // The RIFF size above which Finish writes RF64: 4 GiB less a byte, lowered by tests only.
    void SetRf64Threshold(uint64_t riffBytes) { riffLimit = riffBytes; }

private:
    bool WriteHeader();
    void Abandon();

    FILE* file = nullptr;
    std::wstring path;
    std::wstring partialPath;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    OutputEncoding encoding = OutputEncoding::Float32;
    uint64_t framesWritten = 0;
    uint64_t clippedSamples = 0;
    uint64_t riffLimit = 0xFFFFFFFFull;
    std::vector<uint8_t> encoded;
};
