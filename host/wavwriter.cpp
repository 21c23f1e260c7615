#include "wavwriter.h"

#include "bytesource.h"
#include "hresultnames.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

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

// Where the file name starts in a path: after its folder's last separator.
size_t NameStart(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

// Opens a new file for writing; fails (errno EEXIST) if anything by that name exists.
FILE* CreateExclusively(const std::wstring& path) {
    const int descriptor =
        _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) {
        return nullptr;
    }
    FILE* file = _wfdopen(descriptor, L"wb");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

} // namespace

WavWriter::~WavWriter() {
    Abandon();
}

bool WavWriter::Create(const std::wstring& newPath, uint16_t newChannels, uint32_t newSampleRate,
                       OutputEncoding newEncoding, std::string& error) {
    Abandon();
    path = newPath;
    putInPlace = true;
    const size_t nameStart = NameStart(path);
    const std::wstring stem = path.substr(0, nameStart) + L"." + path.substr(nameStart) + L".";
    const unsigned long long seed = GetTickCount64() ^ (GetCurrentProcessId() * 0x9E3779B9ull);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        bool nameTaken = false;
        const std::wstring candidate = stem + std::to_wstring(seed + attempt) + L".partial";
        if (Open(candidate, newChannels, newSampleRate, newEncoding, nameTaken, error) ||
            !nameTaken) {
            return file != nullptr;
        }
    }
    return false;
}

bool WavWriter::CreateStaged(const std::wstring& stagedPath, uint16_t newChannels,
                             uint32_t newSampleRate, OutputEncoding newEncoding,
                             std::string& error) {
    Abandon();
    path = stagedPath;
    putInPlace = false;
    bool nameTaken = false;
    return Open(stagedPath, newChannels, newSampleRate, newEncoding, nameTaken, error);
}

bool WavWriter::Open(const std::wstring& writingPath, uint16_t newChannels, uint32_t newSampleRate,
                     OutputEncoding newEncoding, bool& nameTaken, std::string& error) {
    channels = newChannels;
    sampleRate = newSampleRate;
    encoding = newEncoding;
    framesWritten = 0;
    clippedSamples = 0;
    partialPath = writingPath;
    file = CreateExclusively(partialPath);
    if (file == nullptr) {
        nameTaken = errno == EEXIST;
        error = "cannot create " + Utf8FromWide(partialPath) +
                " for the output: " + std::strerror(errno);
        return false;
    }
    if (!WriteHeader()) {
        error = "cannot write " + Utf8FromWide(partialPath) + ": " + std::strerror(errno);
        Abandon();
        return false;
    }
    return true;
}

// Float output carries the fact chunk that non-PCM WAV files are expected to have. The header
// keeps 28 bytes of JUNK right after "WAVE": past 4 GiB they become the ds64 chunk of an RF64
// file, in place, so the samples never move (as ffmpeg's "-rf64 auto" does).
bool WavWriter::WriteHeader() {
    const bool isFloat = encoding == OutputEncoding::Float32;
    const uint32_t bytesPerSample = OutputContainerBits(encoding) / 8u;
    const uint32_t blockAlign = channels * bytesPerSample;
    const uint64_t dataBytes = framesWritten * blockAlign;
    const uint32_t headerBytes = 4 + 36 + (isFloat ? 26 + 12 : 24) + 8;
    const uint64_t riffBytes = headerBytes + dataBytes + (dataBytes & 1u);
    const bool isRf64 = riffBytes > riffLimit;
    const auto size32 = [isRf64](uint64_t size) {
        return isRf64 ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
    };
    std::vector<uint8_t> header;
    PutTag(header, isRf64 ? "RF64" : "RIFF");
    PutLe32(header, size32(riffBytes));
    PutTag(header, "WAVE");
    PutTag(header, isRf64 ? "ds64" : "JUNK");
    PutLe32(header, 28);
    for (const uint64_t size : {riffBytes, dataBytes, framesWritten}) {
        PutLe32(header, isRf64 ? static_cast<uint32_t>(size) : 0);
        PutLe32(header, isRf64 ? static_cast<uint32_t>(size >> 32) : 0);
    }
    PutLe32(header, 0); // no table of other chunk sizes
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
        PutLe32(header, framesWritten > 0xFFFFFFFFu ? 0xFFFFFFFFu : size32(framesWritten));
    }
    PutTag(header, "data");
    PutLe32(header, size32(dataBytes));
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
    if (putInPlace && !MoveFileExW(partialPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = "cannot put the output in place as " + Utf8FromWide(path) + ": " +
                SystemErrorText(GetLastError());
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
