#include "wavwriter.h"

#include "bytesource.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr uint64_t kMaxRiffBytes = 0xFFFFFFFFull;

void PutLe16(std::vector<uint8_t>& bytes, uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>& bytes, uint32_t value) {
    PutLe16(bytes, value & 0xFFFF);
    PutLe16(bytes, value >> 16);
}

void PutTag(std::vector<uint8_t>& bytes, const char* tag) {
    bytes.insert(bytes.end(), tag, tag + 4);
}

} // namespace

WavWriter::~WavWriter() {
    Abandon();
}

bool WavWriter::Create(const std::wstring& newPath, uint16_t newChannels, uint32_t newSampleRate,
                       OutputEncoding newEncoding, std::string& error) {
    Abandon();
    path = newPath;
    channels = newChannels;
    sampleRate = newSampleRate;
    encoding = newEncoding;
    framesWritten = 0;
    clippedSamples = 0;
    partialPath = path + L".partial";
    file = _wfopen(partialPath.c_str(), L"wb");
    if (file == nullptr) {
        error = "cannot create " + Utf8FromWide(partialPath) + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteHeader()) {
        error = "cannot write " + Utf8FromWide(path) + ": " + std::strerror(errno);
        Abandon();
        return false;
    }
    return true;
}

// Float output carries the fact chunk that non-PCM WAV files are expected to have.
bool WavWriter::WriteHeader() {
    const bool isFloat = encoding == OutputEncoding::Float32;
    const uint32_t bytesPerSample = OutputContainerBits(encoding) / 8u;
    const uint32_t blockAlign = channels * bytesPerSample;
    const uint64_t dataBytes = framesWritten * blockAlign;
    const uint32_t headerBytes = isFloat ? 4 + 26 + 12 + 8 : 4 + 24 + 8;
    std::vector<uint8_t> header;
    PutTag(header, "RIFF");
    PutLe32(header, static_cast<uint32_t>(headerBytes + dataBytes + (dataBytes & 1u)));
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    PutLe32(header, isFloat ? 18 : 16);
    PutLe16(header, isFloat ? 3 : 1);
    PutLe16(header, channels);
    PutLe32(header, sampleRate);
    PutLe32(header, sampleRate * blockAlign);
    PutLe16(header, blockAlign);
    PutLe16(header, bytesPerSample * 8);
    if (isFloat) {
        PutLe16(header, 0);
        PutTag(header, "fact");
        PutLe32(header, 4);
        PutLe32(header, static_cast<uint32_t>(framesWritten));
    }
    PutTag(header, "data");
    PutLe32(header, static_cast<uint32_t>(dataBytes));
    return _fseeki64(file, 0, SEEK_SET) == 0 &&
           std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

bool WavWriter::Write(const float* samples, size_t frameCount, std::string& error) {
    if (file == nullptr) {
        error = "the output file is not open";
        return false;
    }
    const size_t sampleCount = frameCount * channels;
    const size_t byteCount = sampleCount * (OutputContainerBits(encoding) / 8u);
    const uint64_t blockAlign = channels * (OutputContainerBits(encoding) / 8u);
    if ((framesWritten + frameCount) * blockAlign + 64 > kMaxRiffBytes) {
        error = "the output would exceed the 4 GiB limit of a WAV file";
        return false;
    }
    encoded.resize(byteCount);
    clippedSamples += EncodeSamples(samples, sampleCount, encoding, encoded.data());
    if (std::fwrite(encoded.data(), 1, byteCount, file) != byteCount) {
        error = "cannot write " + Utf8FromWide(path) + ": " + std::strerror(errno);
        return false;
    }
    framesWritten += frameCount;
    return true;
}

bool WavWriter::Finish(std::string& error) {
    if (file == nullptr) {
        error = "the output file is not open";
        return false;
    }
    const uint64_t dataBytes = framesWritten * channels * (OutputContainerBits(encoding) / 8u);
    bool written = true;
    if ((dataBytes & 1u) != 0) {
        written = std::fputc(0, file) != EOF;
    }
    written = written && WriteHeader() && std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!written || !closed) {
        error = "cannot write " + Utf8FromWide(partialPath) + ": " + std::strerror(errno);
        _wremove(partialPath.c_str());
        return false;
    }
    if (!MoveFileExW(partialPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = "cannot put the output in place as " + Utf8FromWide(path) + " (error " +
                std::to_string(GetLastError()) + ")";
        _wremove(partialPath.c_str());
        return false;
    }
    return true;
}

void WavWriter::Abandon() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
        _wremove(partialPath.c_str());
    }
}
