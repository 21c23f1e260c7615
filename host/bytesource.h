// Where the WAV reader takes its bytes from: a file on disk, or memory (tests, fuzzing). This
// header and the memory source are plain C++, so the reader also builds natively for fuzzing;
// the file source and the path text live in wavfile.cpp, which needs Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `count` bytes at `offset`; false when fewer are there or the read fails.
    virtual bool ReadAt(uint64_t offset, void* destination, size_t count) = 0;
};

class FileByteSource : public ByteSource {
public:
    FileByteSource() = default;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;
    ~FileByteSource() override;

    // False when the file cannot be opened; `error` then says why.
    bool Open(const std::wstring& path, std::string& error);
    uint64_t Size() const override { return size; }
    bool ReadAt(uint64_t offset, void* destination, size_t count) override;

private:
    FILE* file = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
};

class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}
    uint64_t Size() const override { return bytes.size(); }
    bool ReadAt(uint64_t offset, void* destination, size_t count) override;

private:
    std::vector<uint8_t> bytes;
};

// UTF-8 text of a wide string, for messages, and back (wavfile.cpp).
std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
