// The Windows side of reading WAV files: files on disk, standard input, and the UTF-8 text of
// their paths.
#include "bytesource.h"
#include "wavreader.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

FileByteSource::~FileByteSource() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool FileByteSource::Open(const std::wstring& path, std::string& error) {
    file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        error = "cannot open " + Utf8FromWide(path) + ": " + std::strerror(errno);
        return false;
    }
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        error = "cannot read " + Utf8FromWide(path) + ": it is not a seekable file";
        return false;
    }
    size = static_cast<uint64_t>(_ftelli64(file));
    position = size;
    return true;
}

bool FileByteSource::ReadAt(uint64_t offset, void* destination, size_t count) {
    if (file == nullptr || offset > size || count > size - offset) {
        return false;
    }
    if (offset != position && _fseeki64(file, static_cast<long long>(offset), SEEK_SET) != 0) {
        return false;
    }
    const size_t got = std::fread(destination, 1, count, file);
    position = offset + got;
    return got == count;
}

bool StreamByteSource::ReadExactly(void* destination, size_t count) {
    auto* bytes = static_cast<uint8_t*>(destination);
    while (count > 0) {
        const DWORD wanted = count < 0x40000000u ? static_cast<DWORD>(count) : 0x40000000u;
        DWORD got = 0;
        // A pipe whose writer has gone reads as ERROR_BROKEN_PIPE: the end of the stream.
        if (!ReadFile(static_cast<HANDLE>(handle), bytes, wanted, &got, nullptr) || got == 0) {
            return false;
        }
        bytes += got;
        count -= got;
        position += got;
    }
    return true;
}

bool StreamByteSource::ReadAt(uint64_t offset, void* destination, size_t count) {
    uint8_t skipped[4096];
    while (position < offset) {
        const uint64_t gap = offset - position;
        if (!ReadExactly(skipped,
                         gap < sizeof skipped ? static_cast<size_t>(gap) : sizeof skipped)) {
            return false;
        }
    }
    return position == offset && ReadExactly(destination, count);
}

std::string Utf8FromWide(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                            length, nullptr, nullptr);
    }
    return result;
}

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                            length);
    }
    return result;
}

bool OpenWavFile(WavReader& reader, const std::wstring& path, std::string& error) {
    auto file = std::make_unique<FileByteSource>();
    if (!file->Open(path, error)) {
        return false;
    }
    if (!reader.Open(std::move(file), error)) {
        error = Utf8FromWide(path) + ": " + error;
        return false;
    }
    return true;
}

bool OpenWavStream(WavReader& reader, std::string& error) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        error = "standard input: there is none to read";
        return false;
    }
    if (!reader.Open(std::make_unique<StreamByteSource>(input), error)) {
        error = "standard input: " + error;
        return false;
    }
    return true;
}
