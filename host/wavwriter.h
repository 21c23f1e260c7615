// Writes the host's output: interleaved float frames as a WAV file of 32-bit float or 16/24-bit
// PCM; a file past 4 GiB becomes RF64. The samples go to a temporary file of the writer's own in
// the output's folder, created exclusively (".NAME.<unique>.partial": never a file that was
// there); Finish fills in the sizes and only then puts the file in place, so a failed run neither
// leaves a WAV that looks complete nor destroys any file that was there before.
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
    // Writes into `stagedPath`, which must not exist yet, and leaves the finished file there: the
    // caller puts it in place (`./kovra process` does, with the file system's own rules).
    bool CreateStaged(const std::wstring& stagedPath, uint16_t channels, uint32_t sampleRate,
                      OutputEncoding encoding, std::string& error);
    bool Write(const float* samples, size_t frameCount, std::string& error);
    // Writes the final sizes and closes the file.
    bool Finish(std::string& error);
    // Closes and removes the unfinished file; an older file at the output's name is left alone.
    void Abandon();

    uint64_t FramesWritten() const { return framesWritten; }
    // The file the samples go to until Finish.
    const std::wstring& WritingPath() const { return partialPath; }
    uint64_t ClippedSamples() const { return clippedSamples; }

    // The RIFF size above which Finish writes RF64: 4 GiB less a byte, lowered by tests only.
    void SetRf64Threshold(uint64_t riffBytes) { riffLimit = riffBytes; }

private:
    // Creates `writingPath` exclusively; `nameTaken` says that a file by that name was there.
    bool Open(const std::wstring& writingPath, uint16_t channels, uint32_t sampleRate,
              OutputEncoding encoding, bool& nameTaken, std::string& error);
    bool WriteHeader();

    FILE* file = nullptr;
    std::wstring path;
    std::wstring partialPath;
    bool putInPlace = true;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    OutputEncoding encoding = OutputEncoding::Float32;
    uint64_t framesWritten = 0;
    uint64_t clippedSamples = 0;
    uint64_t riffLimit = 0xFFFFFFFFull;
    std::vector<uint8_t> encoded;
};
