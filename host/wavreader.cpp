#include "wavreader.h"

#include "sampleconversion.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;
// The GUIDs of the extensible layout's sub-formats share every byte but the first two.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t ReadLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t ReadLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string Printf(const char* format, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

uint32_t LowestBits(uint32_t mask, int count) {
    uint32_t kept = 0;
    for (int taken = 0; taken < count && mask != 0; ++taken) {
        kept |= mask & (~mask + 1);
        mask &= mask - 1;
    }
    return kept;
}

bool IsSupportedSize(SampleEncoding encoding, uint16_t bits) {
    if (encoding == SampleEncoding::Float) {
        return bits == 32 || bits == 64;
    }
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

} // namespace

bool WavReader::Open(std::unique_ptr<ByteSource> newSource, std::string& error) {
    StopReadAhead();
    source = std::move(newSource);
    format = WavFormat{};
    framesRead = 0;
    framesDelivered = 0;
    notes.clear();
    encodingUnsupported = false;
    uint8_t header[12];
    if (source == nullptr || !source->ReadAt(0, header, sizeof header)) {
        error = "not a WAV file: shorter than a RIFF header";
        return false;
    }
    // RF64 and its broadcast twin BW64 keep 64-bit sizes in a ds64 chunk.
    const bool isRf64 = std::memcmp(header, "RF64", 4) == 0 || std::memcmp(header, "BW64", 4) == 0;
    if ((!isRf64 && std::memcmp(header, "RIFF", 4) != 0) ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        error = "not a WAV file: no RIFF/WAVE header";
        return false;
    }
    return FindChunks(isRf64, error);
}

// Walks the chunk list once, until it has both the fmt and the data chunk. Every step moves
// forward by at least a chunk header, so a file of any content ends the walk. A data chunk whose
// size cannot be trusted runs to the end of the file and ends the walk; a stream has no end to
// run to, so there its size must be given.
bool WavReader::FindChunks(bool isRf64, std::string& error) {
    const uint64_t fileSize = source->Size();
    const bool isStream = fileSize == ByteSource::kUnknownSize;
    uint64_t offset = 12;
    bool haveFormat = false;
    bool haveData = false;
    bool haveDs64 = false;
    uint64_t ds64DataSize = 0;
    uint64_t dataSize = 0;
    std::string untrustedSize; // why the data runs to the end of the file, if it does
    uint8_t chunkHeader[8];
    while (offset + 8 <= fileSize && source->ReadAt(offset, chunkHeader, 8)) {
        const uint32_t chunkSize = ReadLe32(chunkHeader + 4);
        const uint64_t bodyOffset = offset + 8;
        const uint64_t available = fileSize - bodyOffset;
        uint64_t skip = chunkSize;
        if (isRf64 && std::memcmp(chunkHeader, "ds64", 4) == 0 && !haveDs64) {
            if (!ReadDs64(bodyOffset, chunkSize, ds64DataSize, error)) {
                return false;
            }
            haveDs64 = true;
        } else if (std::memcmp(chunkHeader, "fmt ", 4) == 0 && !haveFormat) {
            if (chunkSize > available) {
                error = "truncated: the fmt chunk runs past the end of the file";
                return false;
            }
            if (!ParseFormatChunk(bodyOffset, chunkSize, error)) {
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunkHeader, "data", 4) == 0 && !haveData) {
            const bool sizeInDs64 = isRf64 && haveDs64 && chunkSize == 0xFFFFFFFFu;
            dataSize = sizeInDs64 ? ds64DataSize : chunkSize;
            if (chunkSize == 0xFFFFFFFFu && !sizeInDs64 && isStream) {
                error = "the stream's data chunk gives no size (0xFFFFFFFF): a stream must say "
                        "how long it is (write it to a file first)";
                return false;
            }
            if (chunkSize == 0xFFFFFFFFu && !sizeInDs64) {
                untrustedSize = "the data chunk's size is 0xFFFFFFFF (a streamed file)";
            } else if (isStream) {
                // Nothing to check it against: the stream holds what it says, or ends early.
            } else if (dataSize > available) {
                untrustedSize = Printf("the data chunk claims %llu bytes but only %llu follow",
                                       dataSize, available);
            } else if (dataSize == 0 && available > 0 && !IsChunkChain(bodyOffset, fileSize)) {
                untrustedSize = "the data chunk's size is 0 but audio follows it";
            }
            dataOffset = bodyOffset;
            haveData = true;
            if (!untrustedSize.empty()) {
                dataSize = available;
                break;
            }
            skip = dataSize;
        }
        if (haveFormat && haveData) {
            break;
        }
        offset = bodyOffset + skip + (skip & 1u);
    }
    if (!haveFormat) {
        error = "malformed WAV: no fmt chunk";
        return false;
    }
    if (!haveData) {
        error = "malformed WAV: no data chunk";
        return false;
    }
    const uint64_t blockAlign = format.BlockAlign();
    if (!untrustedSize.empty()) {
        std::string note = untrustedSize + Printf(": read the %llu whole frames to the end of the "
                                                  "file",
                                                  dataSize / blockAlign);
        if (dataSize % blockAlign != 0) {
            note += Printf(", leaving out the last %llu bytes (less than a frame)",
                           dataSize % blockAlign);
        }
        notes.push_back(note);
        dataSize -= dataSize % blockAlign;
    } else if (dataSize % blockAlign != 0) {
        error = Printf("truncated: the data chunk (%llu bytes) ends inside a frame of %llu bytes",
                       dataSize, blockAlign);
        return false;
    }
    format.frameCount = dataSize / blockAlign;
    return true;
}

// ds64: RIFF size, data size and sample count as 64-bit numbers, then a table for other chunks
// that no audio writer needs.
bool WavReader::ReadDs64(uint64_t offset, uint32_t size, uint64_t& dataSize, std::string& error) {
    uint8_t body[16];
    if (size < 28 || !source->ReadAt(offset, body, sizeof body)) {
        error = "malformed RF64: the ds64 chunk is shorter than 28 bytes";
        return false;
    }
    dataSize = static_cast<uint64_t>(ReadLe32(body + 8)) |
               static_cast<uint64_t>(ReadLe32(body + 12)) << 32;
    return true;
}

// True when the bytes from `offset` to `end` are whole chunks with printable names: what follows
// an empty data chunk in a finished file, and never what audio looks like.
bool WavReader::IsChunkChain(uint64_t offset, uint64_t end) {
    uint8_t chunkHeader[8];
    while (offset < end) {
        if (end - offset < 8 || !source->ReadAt(offset, chunkHeader, 8)) {
            return false;
        }
        for (int index = 0; index < 4; ++index) {
            if (chunkHeader[index] < 0x20 || chunkHeader[index] > 0x7E) {
                return false;
            }
        }
        const uint64_t size = ReadLe32(chunkHeader + 4);
        if (size > end - offset - 8) {
            return false;
        }
        offset += 8 + size + (size & 1u);
    }
    return offset <= end + 1;
}

bool WavReader::ParseFormatChunk(uint64_t offset, uint32_t size, std::string& error) {
    uint8_t body[40] = {};
    if (size < 16) {
        error = Printf("malformed WAV: the fmt chunk has %llu bytes, at least 16 are needed", size);
        return false;
    }
    const size_t wanted = size < sizeof body ? size : sizeof body;
    if (!source->ReadAt(offset, body, wanted)) {
        error = "cannot read the fmt chunk";
        return false;
    }
    uint16_t tag = ReadLe16(body);
    format.channels = ReadLe16(body + 2);
    format.sampleRate = ReadLe32(body + 4);
    const uint16_t blockAlign = ReadLe16(body + 12);
    format.containerBits = ReadLe16(body + 14);
    format.validBits = format.containerBits;
    if (tag == kTagExtensible) {
        const uint16_t extraSize = size >= 18 ? ReadLe16(body + 16) : 0;
        if (size < 40 || extraSize < 22) {
            error = "malformed WAV: extensible fmt chunk shorter than 40 bytes";
            return false;
        }
        const uint16_t validBits = ReadLe16(body + 18);
        format.validBits = validBits == 0 ? format.containerBits : validBits;
        format.channelMask = ReadLe32(body + 20);
        format.maskFromFile = format.channelMask != 0;
        const uint8_t* subFormat = body + 24;
        if (std::memcmp(subFormat + 2, kSubFormatTail, sizeof kSubFormatTail) != 0 ||
            (ReadLe16(subFormat) != kTagPcm && ReadLe16(subFormat) != kTagFloat)) {
            error = "unsupported WAV: the extensible sub-format is neither PCM nor IEEE float";
            encodingUnsupported = true;
            return false;
        }
        tag = ReadLe16(subFormat);
    }
    if (tag != kTagPcm && tag != kTagFloat) {
        error = Printf("unsupported WAV encoding: format tag 0x%04llX (only PCM, IEEE float and "
                       "extensible are read)",
                       tag);
        encodingUnsupported = true;
        return false;
    }
    format.encoding = tag == kTagFloat ? SampleEncoding::Float : SampleEncoding::Pcm;
    if (format.channels == 0 || format.channels > kMaxWavChannels) {
        error = Printf("unsupported WAV: %llu channels (1 to %llu are read)", format.channels,
                       kMaxWavChannels);
        return false;
    }
    if (format.sampleRate == 0) {
        error = "malformed WAV: sample rate 0";
        return false;
    }
    if (!IsSupportedSize(format.encoding, format.containerBits)) {
        error = Printf(format.encoding == SampleEncoding::Float
                           ? "unsupported WAV: %llu-bit float (32 and 64 are read)"
                           : "unsupported WAV: %llu-bit PCM (8, 16, 24 and 32 are read)",
                       format.containerBits);
        return false;
    }
    if (format.validBits > format.containerBits) {
        error = Printf("malformed WAV: %llu valid bits in a %llu-bit container", format.validBits,
                       format.containerBits);
        return false;
    }
    if (blockAlign != format.BlockAlign()) {
        error = Printf("malformed WAV: block align %llu does not match %llu channels of %llu bits",
                       blockAlign, format.channels, format.containerBits);
        return false;
    }
    // Extensible files may set more mask bits than they have channels: the channels take the
    // lowest bits, and the rest mean nothing.
    if (CountSpeakers(format.channelMask) > format.channels) {
        const uint32_t named = format.channelMask;
        format.channelMask = LowestBits(named, format.channels);
        notes.push_back(Printf("the channel mask 0x%llX names %llu speakers for %llu channels",
                               named, CountSpeakers(named), format.channels) +
                        Printf(": the lowest bits, 0x%llX, are used", format.channelMask));
    }
    if (!format.maskFromFile) {
        format.channelMask = DefaultChannelMask(format.channels);
    }
    return true;
}

WavReader::~WavReader() {
    StopReadAhead();
}

size_t WavReader::ReadFrames(float* destination, size_t frameCount, std::string& error) {
    const size_t frames = readAhead.joinable() ? TakeAhead(destination, frameCount, error)
                                               : DecodeNext(destination, frameCount, error);
    framesDelivered += frames;
    return frames;
}

size_t WavReader::DecodeNext(float* destination, size_t frameCount, std::string& error) {
    const uint64_t left = format.frameCount - framesRead;
    const size_t frames = frameCount < left ? frameCount : static_cast<size_t>(left);
    if (frames == 0) {
        return 0;
    }
    const size_t byteCount = frames * format.BlockAlign();
    rawBlock.resize(byteCount);
    if (!source->ReadAt(dataOffset + framesRead * format.BlockAlign(), rawBlock.data(),
                        byteCount)) {
        const uint64_t seen = source->BytesSeen();
        const uint64_t reached = seen > dataOffset ? (seen - dataOffset) / format.BlockAlign() : 0;
        error =
            Printf("the WAV data ends after %llu of its %llu frames (cut short, or a read error)",
                   reached < format.frameCount ? reached : framesRead, format.frameCount);
        return 0;
    }
    DecodeSamples(rawBlock.data(), format.encoding, format.containerBits, frames * format.channels,
                  destination);
    framesRead += frames;
    return frames;
}

void WavReader::StartReadAhead(size_t blockFrames) {
    if (readAhead.joinable() || source == nullptr || blockFrames == 0) {
        return;
    }
    for (Block& block : blocks) {
        block = Block{};
        block.samples.resize(blockFrames * format.channels);
    }
    takeIndex = 0;
    stopping = false;
    readAheadError.clear();
    readAhead = std::thread(&WavReader::ReadAheadLoop, this, blockFrames);
}

// Fills the two blocks in turn, each once the caller has emptied it, until the end or an error.
void WavReader::ReadAheadLoop(size_t blockFrames) {
    for (int index = 0;; index ^= 1) {
        Block& block = blocks[index];
        {
            std::unique_lock<std::mutex> lock(blockLock);
            blockChanged.wait(lock, [&] { return !block.ready || stopping; });
            if (stopping) {
                return;
            }
        }
        std::string error;
        const size_t frames = DecodeNext(block.samples.data(), blockFrames, error);
        std::lock_guard<std::mutex> lock(blockLock);
        block.frames = frames;
        block.position = 0;
        block.ready = true;
        readAheadError = error;
        blockChanged.notify_all();
        if (frames == 0) {
            return;
        }
    }
}

size_t WavReader::TakeAhead(float* destination, size_t frameCount, std::string& error) {
    const size_t channels = format.channels;
    size_t taken = 0;
    std::unique_lock<std::mutex> lock(blockLock);
    while (taken < frameCount) {
        Block& block = blocks[takeIndex];
        blockChanged.wait(lock, [&] { return block.ready; });
        if (block.frames == 0) {
            if (taken == 0) {
                error = readAheadError;
            }
            break;
        }
        const size_t count = std::min(frameCount - taken, block.frames - block.position);
        std::copy_n(block.samples.data() + block.position * channels, count * channels,
                    destination + taken * channels);
        taken += count;
        block.position += count;
        if (block.position == block.frames) {
            block.ready = false;
            takeIndex ^= 1;
            blockChanged.notify_all();
        }
    }
    return taken;
}

void WavReader::StopReadAhead() {
    if (readAhead.joinable()) {
        {
            std::lock_guard<std::mutex> lock(blockLock);
            stopping = true;
        }
        blockChanged.notify_all();
        readAhead.join();
    }
}
