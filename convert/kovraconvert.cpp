// kovraconvert: the converter of `./kovra process`, a native Linux program beside the Windows
// ones. It reads any audio file libsndfile reads (and WAV through the host's own reader),
// converts it to a shape the effect takes, in floating point, and streams it as a float WAV to
// apohost.exe through a pipe: no temporary copy, constant memory.
//   kovraconvert inspect FILE            what the file holds (lines "reader", "original", "note")
//   kovraconvert convert FILE FORMATS    the conversion for the formats `apohost --formats`
//                                        names ("48000:2:0x3 ..."), as a WAV stream on stdout
// Exit codes as apohost's: 0 done, 1 bad command line, 2 the input cannot be read, 3 no
// conversion makes it one the effect takes, 5 the stream cannot be written.
#include "audiosource.h"
#include "conversionplan.h"
#include "floatwavstream.h"
#include "streamconverter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 1,
    kExitBadInput = 2,
    kExitNoConversion = 3,
    kExitWriteFailed = 5,
};

constexpr size_t kBlockFrames = 16384;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "kovraconvert: %s\n", message.c_str());
    return code;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// "44100 2 0x3 441000 FLAC (Free Lossless Audio Codec), Signed 16 bit PCM": apohost's --original.
std::string OriginalLine(const AudioSource& source) {
    const StreamLayout& layout = source.Layout();
    return std::to_string(layout.sampleRate) + " " + std::to_string(layout.channels) + " " +
           Hex(layout.channelMask) + " " + std::to_string(source.Frames()) + " " +
           source.FormatName();
}

int Inspect(const std::string& path) {
    AudioSource source;
    std::string error;
    if (!source.Open(path, error)) {
        return Fail(kExitBadInput, error);
    }
    std::printf("reader %s\n", source.ReadByHostReader() ? "host" : "libsndfile");
    std::printf("original %s\n", OriginalLine(source).c_str());
    for (const std::string& note : source.Notes()) {
        std::printf("note %s\n", note.c_str());
    }
    return std::fflush(stdout) == 0 ? kExitDone : kExitWriteFailed;
}

bool WriteAll(const void* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, stdout) == count;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "; ") + line;
    }
    return text;
}

int Convert(const std::string& path, const std::string& formats) {
    std::vector<StreamLayout> accepted;
    if (!ParseLayouts(formats, accepted)) {
        return Fail(kExitUsage,
                    "FORMATS must be RATE:CHANNELS:MASK words (got \"" + formats + "\")");
    }
    AudioSource source;
    std::string error;
    if (!source.Open(path, error)) {
        return Fail(kExitBadInput, error);
    }
    const std::optional<ConversionPlan> plan = PlanConversion(source.Layout(), accepted);
    if (!plan) {
        return Fail(kExitNoConversion, path + ": " + NoPlanReason(source.Layout(), accepted));
    }
    const std::vector<std::string> steps = DescribeConversion(*plan);
    std::fprintf(stderr, "kovraconvert: %s (%s, %u ch %u Hz) for the effect: %s\n", path.c_str(),
                 source.FormatName().c_str(), unsigned{plan->from.channels}, plan->from.sampleRate,
                 steps.empty() ? "decoded to float, as it is" : Join(steps).c_str());

    static char outputBuffer[1 << 20];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    StreamConverter converter;
    const uint16_t outputChannels = plan->to.channels;
    if (!converter.Start(
            *plan, source.Frames(),
            [outputChannels](const float* frames, size_t count) {
                return WriteAll(frames, count * outputChannels * sizeof(float));
            },
            error)) {
        return Fail(kExitNoConversion, error);
    }
    const std::vector<uint8_t> header =
        FloatWavHeader(plan->to.channels, plan->to.sampleRate, plan->to.channelMask,
                       converter.ExpectedFramesOut());
    if (!WriteAll(header.data(), header.size())) {
        return Fail(kExitWriteFailed,
                    std::string("cannot write the stream: ") + std::strerror(errno));
    }
    std::vector<float> block(kBlockFrames * plan->from.channels);
    for (;;) {
        const size_t frames = source.Read(block.data(), kBlockFrames, error);
        if (frames == 0 && !error.empty()) {
            return Fail(kExitBadInput, path + ": " + error);
        }
        if (frames == 0) {
            break;
        }
        if (!converter.Push(block.data(), frames, error)) {
            return Fail(kExitWriteFailed, error + ": " + std::strerror(errno));
        }
    }
    if (!converter.Finish(error)) {
        return Fail(kExitWriteFailed, error);
    }
    if (std::fflush(stdout) != 0) {
        return Fail(kExitWriteFailed,
                    std::string("cannot write the stream: ") + std::strerror(errno));
    }
    return kExitDone;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "inspect" && argc == 3) {
        return Inspect(argv[2]);
    }
    if (command == "convert" && argc == 4) {
        return Convert(argv[2], argv[3]);
    }
    return Fail(kExitUsage, "usage: kovraconvert inspect FILE | kovraconvert convert FILE FORMATS");
}
