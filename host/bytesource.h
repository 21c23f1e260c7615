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
    // The size of a stream that is read as it comes (standard input): only its headers say how
    // long it is.
    static constexpr uint64_t kUnknownSize = UINT64_MAX;

    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `count` bytes at `offset`; false when fewer are there or the read fails.
    virtual bool ReadAt(uint64_t offset, void* destination, size_t count) = 0;
    // How far the bytes went: the size, or for a stream the bytes it delivered before it ended.
    virtual uint64_t BytesSeen() const { return Size(); }
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

// A pipe or standard input (Windows only: wavfile.cpp): read once, front to back. A read ahead of
// the position skips the bytes between; a read behind it fails.
class StreamByteSource : public ByteSource {
public:
    explicit StreamByteSource(void* handle) : handle(handle) {}
    uint64_t Size() const override { return kUnknownSize; }
    bool ReadAt(uint64_t offset, void* destination, size_t count) override;
    uint64_t BytesSeen() const override { return position; }

private:
    bool ReadExactly(void* destination, size_t count);

    void* handle; // a Windows HANDLE, not owned
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
