#include "hostoptions.h"

#include "bytesource.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

constexpr double kMaxPeriodMilliseconds = 1000.0;

bool ParseUnsigned32(const std::string& text, uint32_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty() || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() > suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "2.5s", "2500ms", "120000f" or a plain number of seconds.
bool ParseStreamTime(const std::string& text, StreamTime& time) {
    double number = 0.0;
    if (EndsWith(text, "ms")) {
        if (!ParseNumber(text.substr(0, text.size() - 2), number) || number < 0) {
            return false;
        }
        time.seconds = number / 1000.0;
        return true;
    }
    if (EndsWith(text, "f")) {
        const std::string digits = text.substr(0, text.size() - 1);
        char* end = nullptr;
        errno = 0;
        const unsigned long long parsed = std::strtoull(digits.c_str(), &end, 10);
        if (digits.empty() || digits[0] == '-' || *end != '\0' || errno != 0) {
            return false;
        }
        time.frames = parsed;
        return true;
    }
    const std::string digits = EndsWith(text, "s") ? text.substr(0, text.size() - 1) : text;
    if (!ParseNumber(digits, number) || number < 0) {
        return false;
    }
    time.seconds = number;
    return true;
}

// "enable=1@2.5s"
bool ParseChange(const std::string& text, PropertyChange& change, std::string& error) {
    const size_t equals = text.find('=');
    const size_t at = text.find('@');
    if (equals == std::string::npos || at == std::string::npos || at < equals) {
        error = "--set wants KEY=VALUE@TIME, e.g. enable=1@2.5s (got \"" + text + "\")";
        return false;
    }
    const std::string key = text.substr(0, equals);
    if (key == "enable") {
        change.property = EndpointProperty::Enable;
    } else if (key == "mode") {
        change.property = EndpointProperty::Mode;
    } else {
        error = "--set: unknown property \"" + key + "\" (enable or mode)";
        return false;
    }
    if (!ParseUnsigned32(text.substr(equals + 1, at - equals - 1), change.value)) {
        error = "--set: the value of " + key + " must be an unsigned 32-bit number";
        return false;
    }
    if (!ParseStreamTime(text.substr(at + 1), change.at)) {
        error = "--set: bad time \"" + text.substr(at + 1) +
                "\": a finite number of seconds or frames, 0 or more (e.g. 2.5s, 2500ms, 120000f)";
        return false;
    }
    change.text = text;
    return true;
}

// "44100 2 0x3 441000 FLAC, Signed 16 bit PCM"
bool ParseOriginal(const std::string& text, OriginalFile& original) {
    const char* cursor = text.c_str();
    unsigned long long numbers[4];
    for (int index = 0; index < 4; ++index) {
        char* end = nullptr;
        errno = 0;
        numbers[index] = std::strtoull(cursor, &end, 0);
        if (end == cursor || errno != 0 || *cursor == '-' || (*end != ' ' && *end != '\0')) {
            return false;
        }
        cursor = *end == ' ' ? end + 1 : end;
    }
    if (numbers[0] == 0 || numbers[0] > 0xFFFFFFFFull || numbers[1] == 0 ||
        numbers[1] > 0xFFFFull || numbers[2] > 0xFFFFFFFFull) {
        return false;
    }
    original.sampleRate = static_cast<uint32_t>(numbers[0]);
    original.channels = static_cast<uint16_t>(numbers[1]);
    original.channelMask = static_cast<uint32_t>(numbers[2]);
    original.frames = numbers[3];
    original.format = cursor;
    return true;
}

bool ParseOutputEncoding(const std::string& text, OutputEncoding& encoding) {
    static const std::map<std::string, OutputEncoding> names = {
        {"float32", OutputEncoding::Float32},
        {"pcm16", OutputEncoding::Pcm16},
        {"pcm24", OutputEncoding::Pcm24}};
    const auto found = names.find(text);
    if (found == names.end()) {
        return false;
    }
    encoding = found->second;
    return true;
}

bool ApplyValueOption(const std::string& name, const std::string& value, HostOptions& options,
                      std::string& error) {
    if (name == "--enable" || name == "--mode") {
        uint32_t number = 0;
        if (!ParseUnsigned32(value, number)) {
            error = name + " wants an unsigned 32-bit number (got \"" + value + "\")";
            return false;
        }
        (name == "--enable" ? options.enable : options.mode) = number;
        return true;
    }
    if (name == "--set") {
        PropertyChange change;
        if (!ParseChange(value, change, error)) {
            return false;
        }
        options.changes.push_back(change);
        return true;
    }
    if (name == "--period") {
        double milliseconds = 0.0;
        if (!ParseNumber(EndsWith(value, "ms") ? value.substr(0, value.size() - 2) : value,
                         milliseconds) ||
            milliseconds <= 0.0 || milliseconds > kMaxPeriodMilliseconds) {
            error = "--period wants milliseconds above 0 and up to 1000 (got \"" + value + "\")";
            return false;
        }
        options.periodMilliseconds = milliseconds;
        return true;
    }
    if (name == "--converted-from") {
        options.convertedFrom = WideFromUtf8(value);
        return true;
    }
    if (name == "--original") {
        OriginalFile original;
        if (!ParseOriginal(value, original)) {
            error = "--original wants RATE CHANNELS MASK FRAMES FORMAT (got \"" + value + "\")";
            return false;
        }
        options.original = original;
        return true;
    }
    if (name == "--original-note") {
        options.originalNotes.push_back(value);
        return true;
    }
    if (name == "--staged-output") {
        options.stagedOutput = WideFromUtf8(value);
        return true;
    }
    if (name == "--format") {
        if (!ParseOutputEncoding(value, options.outputEncoding)) {
            error = "--format wants float32, pcm16 or pcm24 (got \"" + value + "\")";
            return false;
        }
        return true;
    }
    error = "unknown option " + name;
    return false;
}

bool TakesValue(const std::string& name) {
    return name == "--enable" || name == "--mode" || name == "--set" || name == "--period" ||
           name == "--format" || name == "--converted-from" || name == "--original" ||
           name == "--original-note" || name == "--staged-output";
}

} // namespace

uint64_t StreamTime::ToFrames(uint32_t sampleRate) const {
    if (frames) {
        return *frames;
    }
    const double exact = std::ceil(seconds * sampleRate - 1e-6);
    // A time written in decimal seconds should land on the frame it names, not one after.
    return exact < 0x1p64 ? static_cast<uint64_t>(exact) : UINT64_MAX;
}

bool CheckChangeTimes(const std::vector<PropertyChange>& changes, uint64_t frameCount,
                      uint32_t sampleRate, std::string& error) {
    for (const PropertyChange& change : changes) {
        if (change.at.ToFrames(sampleRate) >= frameCount) {
            char length[80];
            std::snprintf(length, sizeof length, "%.3f s, %llu frames",
                          sampleRate == 0 ? 0.0 : static_cast<double>(frameCount) / sampleRate,
                          static_cast<unsigned long long>(frameCount));
            error = "--set " + change.text + ": the time is at or after the end of the file (" +
                    length + "), so the change could never be applied";
            return false;
        }
    }
    return true;
}

void TimesInSecondsAt(std::vector<PropertyChange>& changes, uint32_t sampleRate) {
    for (PropertyChange& change : changes) {
        if (change.at.frames && sampleRate != 0) {
            change.at.seconds = static_cast<double>(*change.at.frames) / sampleRate;
            change.at.frames.reset();
        }
    }
}

const char* EndpointPropertyName(EndpointProperty property) {
    return property == EndpointProperty::Enable ? "enable" : "mode";
}

bool ParseHostOptions(const std::vector<std::wstring>& arguments, HostOptions& options,
                      std::string& error) {
    std::vector<std::wstring> paths;
    bool optionsEnded = false;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string argument = Utf8FromWide(arguments[index]);
        // Only "--name" is an option: "-x.wav" is a file, and so is everything after "--".
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (!optionsEnded && (argument == "-h" || argument == "/?")) {
                options.showHelp = true;
                return true;
            }
            paths.push_back(arguments[index]);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help") {
            options.showHelp = true;
            return true;
        }
        if (argument == "--progress" || argument == "--no-progress") {
            options.progress =
                argument == "--progress" ? ProgressChoice::Always : ProgressChoice::Never;
            continue;
        }
        if (argument == "--formats" || argument == "--quiet-conversion") {
            (argument == "--formats" ? options.listFormats : options.quietConversion) = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (!TakesValue(name)) {
            error = "unknown option " + name;
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (index + 1 < arguments.size()) {
            value = Utf8FromWide(arguments[++index]);
        } else {
            error = name + " needs a value";
            return false;
        }
        if (!ApplyValueOption(name, value, options, error)) {
            return false;
        }
    }
    if (options.listFormats && paths.empty()) {
        return true;
    }
    if (paths.size() != 2) {
        error = paths.size() < 2 ? "give an input and an output WAV file"
                                 : "more than two file names given";
        return false;
    }
    if (options.convertedFrom.empty() == options.original.has_value() ||
        (!options.original && !options.originalNotes.empty())) {
        error = "--converted-from, --original and --original-note go together";
        return false;
    }
    options.inputPath = paths[0];
    options.outputPath = paths[1];
    return true;
}

const char* HostUsageText() {
    return "usage: apohost [options] [--] IN.wav OUT.wav\n"
           "       apohost --formats\n"
           "Runs IN.wav through the registered KovraAPO effect the way the audio engine does\n"
           "and writes the stereo result to OUT.wav. IN.wav - reads a WAV stream of known size\n"
           "from standard input. Only --NAME is an option; -- ends the options.\n"
           "  --enable N           endpoint enable property (VT_UI4) at start; absent if not "
           "given\n"
           "  --mode N             endpoint mode property (VT_UI4) at start; absent if not given\n"
           "  --set KEY=N@TIME     change enable or mode at a stream time (2.5s, 2500ms, "
           "120000f);\n"
           "                       applied at the period boundary at or after TIME; repeatable\n"
           "  --period MS          period length in milliseconds (default 10)\n"
           "  --format F           output samples: float32 (default), pcm16 or pcm24\n"
           "  --formats            print the formats the effect takes as input, and exit\n"
           "Used by ./kovra process, which converts what the effect refuses:\n"
           "  --converted-from F   IN.wav is the conversion of F, whose shape --original gives\n"
           "  --original SHAPE     \"RATE CHANNELS MASK FRAMES FORMAT\" of F: the summary names\n"
           "                       it, frame times refer to its rate, IN.wav must hold its frames\n"
           "  --original-note TEXT what the converter's reader noted about F (repeatable)\n"
           "  --staged-output F    write the finished output to F (new) and leave it there\n"
           "  --quiet-conversion   for a file the effect takes only converted, print only the\n"
           "                       formats it takes\n"
           "  --progress           always show the progress bar on stderr\n"
           "  --no-progress        never show it (default: when stderr is a terminal and the\n"
           "                       file lasts 30 s or more)\n"
           "Exit codes: 0 done, 1 bad command line, 2 unreadable or malformed input file,\n"
           "3 format refused by the effect, 4 effect or COM failure, 5 output write failure,\n"
           "6 the effect takes the file only converted (rate or channels): the conversion is\n"
           "named, 130 interrupted (Ctrl-C; 129 for a closing console): nothing was written.\n";
}
