// The command line of apohost.exe (and of `./kovra process`, which passes it on).
#pragma once

#include "sampleconversion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class EndpointProperty { Enable, Mode };

// A stream time given either in seconds or in frames.
struct StreamTime {
    double seconds = 0.0;
    std::optional<uint64_t> frames;

    // The frame at or after this time for the given rate; UINT64_MAX for a time past any file.
    uint64_t ToFrames(uint32_t sampleRate) const;
};

struct PropertyChange {
    EndpointProperty property = EndpointProperty::Enable;
    uint32_t value = 0;
    StreamTime at;
    std::string text; // as given, for messages
};

enum class ProgressChoice { Auto, Always, Never };

// The file a converted input was made from, as the converter read it: "RATE CHANNELS MASK FRAMES
// FORMAT", e.g. "44100 2 0x3 441000 FLAC, Signed 16 bit PCM".
struct OriginalFile {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint32_t channelMask = 0;
    uint64_t frames = 0;
    std::string format;
};

struct HostOptions {
    std::wstring inputPath;
    std::wstring outputPath;
    std::optional<uint32_t> enable; // absent: the endpoint has no such property
    std::optional<uint32_t> mode;
    std::vector<PropertyChange> changes;
    double periodMilliseconds = 10.0;
    OutputEncoding outputEncoding = OutputEncoding::Float32;
    ProgressChoice progress = ProgressChoice::Auto;
    // The file the input was converted from (by `./kovra process`), with its shape: the summary
    // names both, and frame times refer to its rate.
    std::wstring convertedFrom;
    std::optional<OriginalFile> original;
    std::vector<std::string> originalNotes; // what the converter's reader decided about it
    // Write the finished output here and leave it for the caller to put in place as outputPath.
    std::wstring stagedOutput;
    // For a file the effect takes only converted: print only the formats it takes.
    bool quietConversion = false;
    bool listFormats = false; // print the formats the effect takes, and nothing else
    bool showHelp = false;
};

// Parses the arguments after the program name. False with `error` set for a bad command line.
bool ParseHostOptions(const std::vector<std::wstring>& arguments, HostOptions& options,
                      std::string& error);

// False with `error` set when a change falls at or after the end of a file of `frameCount`
// frames at `sampleRate`: it could never be applied.
bool CheckChangeTimes(const std::vector<PropertyChange>& changes, uint64_t frameCount,
                      uint32_t sampleRate, std::string& error);

// Frame times become seconds at `sampleRate`, for a file that was converted to another rate.
void TimesInSecondsAt(std::vector<PropertyChange>& changes, uint32_t sampleRate);

// The usage text printed by --help and after a bad command line.
const char* HostUsageText();

const char* EndpointPropertyName(EndpointProperty property);
