// Reads the WAV files that real tools write: PCM of 8, 16, 24 or 32 bits, IEEE float of 32 or 64
// bits, plain or in the extensible layout, 1 to 64 channels, in a RIFF, RF64 or BW64 container.
// A file whose data size is unknown (written to a pipe) or wrong (cut short) is read to its end
// in whole frames, and the reader says so in its notes. A stream (standard input) has no end to
// read to: its headers must give the data size, and it must hold that many bytes. Anything else
// whose structure does not hold together is refused with one message that names the problem.
// Plain C++ apart from OpenWavFile and OpenWavStream, so the reader also builds natively (for
// fuzzing, and for the converter of `./kovra process`).
#pragma once

#include "bytesource.h"
#include "wavformat.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WavReader {
public:
    WavReader() = default;
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;
    ~WavReader();

    // Takes the source and checks the file's headers. False with `error` set on any problem.
    bool Open(std::unique_ptr<ByteSource> source, std::string& error);

    const WavFormat& Format() const { return format; }
    uint64_t FramesLeft() const { return format.frameCount - framesDelivered; }
    // What the reader decided beyond the headers' word (a size it could not trust, mask bits it
    // left out), one sentence each, for the run's summary.
    const std::vector<std::string>& Notes() const { return notes; }
    // After a failed Open: the file is a WAV file, but its samples are in an encoding this reader
    // does not decode (A-law, ADPCM, ...), which a codec library may.
    bool EncodingUnsupported() const { return encodingUnsupported; }

    // Decodes up to `frameCount` frames as interleaved float in [-1, 1] into `destination`
    // (room for frameCount × channels). Returns the frames decoded; 0 at the end. On a read
    // failure returns 0 and sets `error`.
    size_t ReadFrames(float* destination, size_t frameCount, std::string& error);

    // From now on a thread of the reader's own reads and decodes the file ahead, `blockFrames`
    // frames at a time, so that reading overlaps with what the caller does with the frames.
    void StartReadAhead(size_t blockFrames);

private:
    // A decoded block that the read-ahead thread hands over; `frames` 0 is the end.
    struct Block {
        std::vector<float> samples;
        size_t frames = 0;
        size_t position = 0; // frames already taken by ReadFrames
        bool ready = false;
    };

    size_t DecodeNext(float* destination, size_t frameCount, std::string& error);
    size_t TakeAhead(float* destination, size_t frameCount, std::string& error);
    void ReadAheadLoop(size_t blockFrames);
    void StopReadAhead();

    bool FindChunks(bool isRf64, std::string& error);
    bool ParseFormatChunk(uint64_t offset, uint32_t size, std::string& error);
    bool ReadDs64(uint64_t offset, uint32_t size, uint64_t& dataSize, std::string& error);
    bool IsChunkChain(uint64_t offset, uint64_t end);

    std::unique_ptr<ByteSource> source;
    WavFormat format;
    uint64_t dataOffset = 0;
    uint64_t framesRead = 0;      // decoded from the file
    uint64_t framesDelivered = 0; // handed to the caller
    std::vector<uint8_t> rawBlock;
    std::vector<std::string> notes;
    bool encodingUnsupported = false;

    std::thread readAhead;
    std::mutex blockLock;
    std::condition_variable blockChanged;
    Block blocks[2];
    int takeIndex = 0;
    bool stopping = false;
    std::string readAheadError;
};

// Opens a WAV file on disk; the message names the file. (Windows only: wavfile.cpp.)
bool OpenWavFile(WavReader& reader, const std::wstring& path, std::string& error);
// Opens the WAV stream on standard input. (Windows only: wavfile.cpp.)
bool OpenWavStream(WavReader& reader, std::string& error);
