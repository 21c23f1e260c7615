// The file to convert, decoded to float frames whose channels follow their mask bits. A WAV file
// that the host's own reader reads goes through that reader, so the converter reads exactly the
// frames apohost.exe would (streamed, cut and zero-size data chunks included); everything else
// goes through libsndfile (FLAC, AIFF, Ogg Vorbis and Opus, MP3, A-law, mu-law, ADPCM WAV, ...).
// The input is only ever opened for reading.
#pragma once

#include "conversionplan.h"
#include "wavreader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

class AudioSource {
public:
    AudioSource() = default;
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;
    ~AudioSource();

    // False with `error` set when neither reader can read the file.
    bool Open(const std::string& path, std::string& error);

    // Rate, channel count and the mask of the channels' speakers (0 when none is known).
    const StreamLayout& Layout() const { return layout; }
    uint64_t Frames() const { return frames; }
    // The container and encoding, e.g. "FLAC (Free Lossless Audio Codec), Signed 16 bit PCM".
    const std::string& FormatName() const { return formatName; }
    // What the reader decided beyond the headers' word, one sentence each.
    const std::vector<std::string>& Notes() const { return notes; }
    bool ReadByHostReader() const { return !soundFile; }

    // Up to `count` frames, interleaved in mask order; 0 at the end. A file that ends before the
    // frames it announced is an error: 0 with `error` set.
    size_t Read(float* destination, size_t count, std::string& error);

private:
    bool OpenWithSoundFile(const std::string& path, std::string& error);
    void TrimToFactChunk();

    WavReader wavReader;
    sf_private_tag* soundFile = nullptr;
    StreamLayout layout;
    uint64_t frames = 0;
    uint64_t framesRead = 0;
    std::string formatName;
    std::vector<std::string> notes;
    std::vector<uint16_t> maskOrder; // the file's channel for each channel delivered
    std::vector<float> fileOrder;
};
