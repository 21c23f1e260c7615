#include "audiosource.h"

#include "speakerorder.h"

#include <sndfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A file on disk for the host's WAV reader, read with pread: no position to keep.
class PosixFileSource : public ByteSource {
public:
    ~PosixFileSource() override {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    bool Open(const std::string& path, std::string& error) {
        descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const off_t end = descriptor < 0 ? -1 : lseek(descriptor, 0, SEEK_END);
        if (end < 0) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        size = static_cast<uint64_t>(end);
        return true;
    }
    uint64_t Size() const override { return size; }
    bool ReadAt(uint64_t offset, void* destination, size_t count) override {
        auto* bytes = static_cast<char*>(destination);
        while (count > 0) {
            const ssize_t got = pread(descriptor, bytes, count, static_cast<off_t>(offset));
            if (got <= 0) {
                return false;
            }
            bytes += got;
            offset += static_cast<uint64_t>(got);
            count -= static_cast<size_t>(got);
        }
        return true;
    }

private:
    int descriptor = -1;
    uint64_t size = 0;
};

std::string FormatInfoName(SNDFILE* file, int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    return sf_command(file, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr
               ? info.name
               : "format 0x" + std::to_string(format);
}

bool IsWavFamily(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// The speakers of a file libsndfile reads: its own channel map where the file has one, else
// the order its format defines.
SpeakerList SpeakersOf(SNDFILE* file, const SF_INFO& info) {
    std::vector<int> map(static_cast<size_t>(info.channels));
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
        return SpeakersFromChannelMap(map);
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const uint16_t channels = static_cast<uint16_t>(info.channels);
    if (major == SF_FORMAT_OGG) {
        return VorbisSpeakers(channels);
    }
    return DefaultSpeakers(channels, major == SF_FORMAT_FLAC);
}

} // namespace

AudioSource::~AudioSource() {
    if (soundFile != nullptr) {
        sf_close(soundFile);
    }
}

bool AudioSource::Open(const std::string& path, std::string& error) {
    auto file = std::make_unique<PosixFileSource>();
    if (!file->Open(path, error)) {
        return false;
    }
    std::string wavError;
    if (wavReader.Open(std::move(file), wavError)) {
        const WavFormat& format = wavReader.Format();
        layout = {format.sampleRate, format.channels, format.channelMask};
        frames = format.frameCount;
        notes = wavReader.Notes();
        formatName = "WAV, " + DescribeEncoding(format);
        return true;
    }
    // The host's reader is the judge of the WAV files it reads: a malformed one stays refused.
    const bool otherFormat = wavError.rfind("not a WAV file", 0) == 0;
    if (!otherFormat && !wavReader.EncodingUnsupported()) {
        error = path + ": " + wavError;
        return false;
    }
    return OpenWithSoundFile(path, error);
}

bool AudioSource::OpenWithSoundFile(const std::string& path, std::string& error) {
    SF_INFO info{};
    soundFile = sf_open(path.c_str(), SFM_READ, &info);
    if (soundFile == nullptr) {
        error = path + ": not a file libsndfile reads (" + sf_strerror(nullptr) + ")";
        return false;
    }
    if (info.channels <= 0 || info.channels > 0xFFFF || info.samplerate <= 0) {
        error = path + ": libsndfile reports no channels or no sample rate";
        return false;
    }
    const SpeakerList speakers = SpeakersOf(soundFile, info);
    layout = {static_cast<uint32_t>(info.samplerate), static_cast<uint16_t>(info.channels),
              MaskOf(speakers)};
    maskOrder = speakers.empty() ? std::vector<uint16_t>{} : MaskOrder(speakers);
    if (maskOrder.empty()) {
        maskOrder.resize(layout.channels);
        for (uint16_t channel = 0; channel < layout.channels; ++channel) {
            maskOrder[channel] = channel;
        }
    }
    formatName = FormatInfoName(soundFile, info.format & SF_FORMAT_TYPEMASK) + ", " +
                 FormatInfoName(soundFile, info.format & SF_FORMAT_SUBMASK);
    frames = static_cast<uint64_t>(info.frames);
    if (info.frames < 0 || info.frames == SF_COUNT_MAX) {
        error = path + ": libsndfile cannot tell how many frames the file holds";
        return false;
    }
    if (IsWavFamily(info.format)) {
        TrimToFactChunk();
    }
    return true;
}

// Compressed WAV encodings fill their last block; the fact chunk says how many frames are real.
void AudioSource::TrimToFactChunk() {
    SF_CHUNK_INFO chunk{};
    std::memcpy(chunk.id, "fact", 4);
    chunk.id_size = 4;
    SF_CHUNK_ITERATOR* found = sf_get_chunk_iterator(soundFile, &chunk);
    uint8_t body[4] = {};
    chunk.data = body;
    if (found == nullptr || sf_get_chunk_size(found, &chunk) != SF_ERR_NO_ERROR ||
        chunk.datalen < 4 || (chunk.datalen = 4, sf_get_chunk_data(found, &chunk)) != 0) {
        return;
    }
    const uint64_t announced =
        body[0] | body[1] << 8 | body[2] << 16 | static_cast<uint64_t>(body[3]) << 24;
    if (announced < frames) {
        notes.push_back("the fact chunk gives " + std::to_string(announced) + " frames: the last " +
                        std::to_string(frames - announced) +
                        " decoded ones fill the last block and are left out");
        frames = announced;
    }
}

size_t AudioSource::Read(float* destination, size_t count, std::string& error) {
    const uint64_t left = frames - framesRead;
    const size_t wanted = count < left ? count : static_cast<size_t>(left);
    if (wanted == 0) {
        return 0;
    }
    size_t got = 0;
    if (soundFile == nullptr) {
        got = wavReader.ReadFrames(destination, wanted, error);
    } else {
        const size_t channels = layout.channels;
        fileOrder.resize(wanted * channels);
        got = static_cast<size_t>(
            sf_readf_float(soundFile, fileOrder.data(), static_cast<sf_count_t>(wanted)));
        for (size_t frame = 0; frame < got; ++frame) {
            for (size_t channel = 0; channel < channels; ++channel) {
                destination[frame * channels + channel] =
                    fileOrder[frame * channels + maskOrder[channel]];
            }
        }
    }
    framesRead += got;
    if (got < wanted && error.empty()) {
        error = "the file ends after " + std::to_string(framesRead) + " of its " +
                std::to_string(frames) + " frames" +
                (soundFile != nullptr && sf_error(soundFile) != SF_ERR_NO_ERROR
                     ? std::string(" (") + sf_strerror(soundFile) + ")"
                     : std::string());
        return 0;
    }
    return got;
}
