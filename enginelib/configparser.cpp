#include "configparser.h"

#include "configtext.h"

#include <array>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace kovra {
namespace {

struct Range {
    double low;
    double high;
};

constexpr Range kPreGainDb{-48.0, 24.0};
constexpr Range kFilterGainDb{-24.0, 24.0};
constexpr Range kFrequencyHz{10.0, 40000.0};
constexpr Range kQuality{0.1, 20.0};
constexpr Range kLimiterCeilingDb{-24.0, 0.0};
constexpr Range kLimiterReleaseMs{1.0, 2000.0};
constexpr Range kLimiterHoldMs{0.0, kMaxLimiterHoldMs};
constexpr Range kDownmixGain{-4.0, 4.0};

// The lowest rate the effect runs at. A filter at or above half of it still reads, and runs at
// the higher rates; at this one it passes its input through, which a note says.
constexpr double kLowestEffectRate = 48000.0;

struct FilterTypeName {
    std::string_view name;
    FilterType type;
    bool takesGain;
};

constexpr std::array<FilterTypeName, 5> kFilterTypes = {{
    {"peaking", FilterType::Peaking, true},
    {"lowshelf", FilterType::LowShelf, true},
    {"highshelf", FilterType::HighShelf, true},
    {"lowpass", FilterType::LowPass, false},
    {"highpass", FilterType::HighPass, false},
}};

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string Number(double value) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

enum class SectionKind { None, Preset, Configuration };

// Which keys a section has had, so repeats and omissions are caught.
struct SeenKeys {
    bool preGain = false;
    bool limiter = false;
    bool left = false;
    bool right = false;
    bool filters = false;
    bool limiterSwitch = false;
};

class Parser {
public:
    ParseOutcome run(const char* text, std::size_t length);

private:
    bool handleLine(std::string_view content);
    bool openSection(std::string_view header);
    bool closeSection();
    bool handleKey(std::string_view key, std::string_view value);
    bool handlePresetKey(std::string_view key, std::string_view value);
    bool handleConfigurationKey(std::string_view key, std::string_view value);
    bool parseFilter(const std::vector<std::string_view>& words);
    bool parseLimiter(const std::vector<std::string_view>& words);
    bool parseDownmixRow(std::string_view key, const std::vector<std::string_view>& words,
                         std::array<float, kMaxInputChannels>& row);
    bool parseSwitch(std::string_view key, std::string_view value, bool& target);
    bool readNumber(std::string_view what, std::string_view word, Range range, double& value);
    bool markKey(bool& seen, std::string_view key);
    bool fail(int line, const std::string& problem);
    std::string sectionName() const;

    EngineSettings settings_ = BuiltInSettings();
    SectionKind kind_ = SectionKind::None;
    int index_ = -1;
    int sectionLine_ = 0;
    int line_ = 0;
    SeenKeys seen_;
    std::array<int, kPresetCount> presetLines_{};
    std::array<int, kConfigurationCount> configurationLines_{};
    int errorLine_ = 0;
    std::string error_;
    std::string notes_;
};

ParseOutcome Parser::run(const char* text, std::size_t length) {
    LineReader reader(text, length);
    std::string_view line;
    bool ok = true;
    while (ok && reader.next(line)) {
        line_ = reader.lineNumber();
        ok = handleLine(StripCommentAndBlanks(line));
    }
    ok = ok && closeSection();
    ParseOutcome outcome;
    outcome.ok = ok;
    if (ok) {
        outcome.settings = settings_;
        outcome.notes = notes_;
    } else {
        outcome.line = errorLine_;
        outcome.message = error_;
        outcome.settings = BuiltInSettings();
    }
    return outcome;
}

bool Parser::fail(int line, const std::string& problem) {
    errorLine_ = line;
    error_ = "line " + std::to_string(line) + ": " + problem;
    return false;
}

std::string Parser::sectionName() const {
    if (kind_ == SectionKind::Preset) {
        return "[preset " + std::to_string(index_) + "]";
    }
    return "[configuration " + std::string(ConfigurationName(index_)) + "]";
}

bool Parser::handleLine(std::string_view content) {
    if (content.empty()) {
        return true;
    }
    const std::size_t forbidden = FindForbiddenCharacter(content);
    if (forbidden != std::string_view::npos) {
        return fail(line_, "control character (code " +
                               std::to_string(static_cast<unsigned char>(content[forbidden])) +
                               ") in the line");
    }
    if (content.front() == '[') {
        return closeSection() && openSection(content);
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        return fail(line_,
                    "expected 'key = value' or a [section] header, found " + Quoted(content));
    }
    const std::string_view key = TrimBlanks(content.substr(0, equals));
    const std::string_view value = TrimBlanks(content.substr(equals + 1));
    if (key.empty()) {
        return fail(line_, "no key before '='");
    }
    if (value.empty()) {
        return fail(line_, "key " + Quoted(key) + " has no value");
    }
    if (kind_ == SectionKind::None) {
        return fail(line_, "key " + Quoted(key) + " comes before any [section] header");
    }
    return handleKey(key, value);
}

bool Parser::openSection(std::string_view header) {
    if (header.back() != ']') {
        return fail(line_, "section header " + Quoted(header) + " lacks its closing ']'");
    }
    const std::vector<std::string_view> words = SplitWords(header.substr(1, header.size() - 2));
    if (words.size() != 2 || (words[0] != "preset" && words[0] != "configuration")) {
        return fail(line_, "unknown section " + Quoted(header) +
                               " (expected [preset N] or [configuration NAME])");
    }
    seen_ = SeenKeys{};
    sectionLine_ = line_;
    if (words[0] == "preset") {
        const std::string_view number = words[1];
        if (number.size() != 1 || number[0] < '0' || number[0] >= '0' + kPresetCount) {
            return fail(line_, "unknown preset " + Quoted(number) + " (expected 0, 1 or 2)");
        }
        kind_ = SectionKind::Preset;
        index_ = number[0] - '0';
        if (presetLines_[index_] != 0) {
            return fail(line_, sectionName() + " is defined twice (first at line " +
                                   std::to_string(presetLines_[index_]) + ")");
        }
        presetLines_[index_] = line_;
        settings_.presets[index_] = PresetSettings{};
        return true;
    }
    const int index = ConfigurationIndexFromName(std::string(words[1]).c_str());
    if (index < 0) {
        return fail(line_, "unknown configuration " + Quoted(words[1]) +
                               " (expected 2_ch, 2_ch_bypass, 6_ch, 6_ch_bypass, 8_ch or "
                               "8_ch_bypass)");
    }
    kind_ = SectionKind::Configuration;
    index_ = index;
    if (configurationLines_[index_] != 0) {
        return fail(line_, sectionName() + " is defined twice (first at line " +
                               std::to_string(configurationLines_[index_]) + ")");
    }
    configurationLines_[index_] = line_;
    ConfigurationSettings fresh;
    fresh.channelCount = ChannelCountOfConfiguration(index_);
    settings_.configurations[index_] = fresh;
    return true;
}

bool Parser::closeSection() {
    if (kind_ == SectionKind::Configuration && !(seen_.left && seen_.right)) {
        return fail(sectionLine_, sectionName() + " lacks " + (seen_.left ? "'right'" : "'left'"));
    }
    kind_ = SectionKind::None;
    return true;
}

bool Parser::markKey(bool& seen, std::string_view key) {
    if (seen) {
        return fail(line_, "key " + Quoted(key) + " is given twice in " + sectionName());
    }
    seen = true;
    return true;
}

bool Parser::handleKey(std::string_view key, std::string_view value) {
    if (kind_ == SectionKind::Preset) {
        return handlePresetKey(key, value);
    }
    return handleConfigurationKey(key, value);
}

bool Parser::handlePresetKey(std::string_view key, std::string_view value) {
    const std::vector<std::string_view> words = SplitWords(value);
    PresetSettings& preset = settings_.presets[index_];
    if (key == "pregain") {
        if (!markKey(seen_.preGain, key)) {
            return false;
        }
        if (words.size() != 1) {
            return fail(line_, "pregain takes one value (dB), got " + std::to_string(words.size()));
        }
        return readNumber("pregain", words[0], kPreGainDb, preset.preGainDb);
    }
    if (key == "limiter") {
        return markKey(seen_.limiter, key) && parseLimiter(words);
    }
    if (key == "filter") {
        return parseFilter(words);
    }
    return fail(line_, "unknown key " + Quoted(key) + " in " + sectionName() +
                           " (expected pregain, limiter or filter)");
}

bool Parser::parseLimiter(const std::vector<std::string_view>& words) {
    if (words.size() != 2 && words.size() != 3) {
        return fail(line_,
                    "limiter takes two or three values (ceiling dBFS, release ms, hold ms), got " +
                        std::to_string(words.size()));
    }
    LimiterSettings& limiter = settings_.presets[index_].limiter;
    return readNumber("limiter ceiling", words[0], kLimiterCeilingDb, limiter.ceilingDb) &&
           readNumber("limiter release", words[1], kLimiterReleaseMs, limiter.releaseMs) &&
           (words.size() == 2 ||
            readNumber("limiter hold", words[2], kLimiterHoldMs, limiter.holdMs));
}

bool Parser::parseFilter(const std::vector<std::string_view>& words) {
    PresetSettings& preset = settings_.presets[index_];
    if (preset.sectionCount == kMaxSectionsPerPreset) {
        return fail(line_, "more than " + std::to_string(kMaxSectionsPerPreset) + " filters in " +
                               sectionName());
    }
    const FilterTypeName* kind = nullptr;
    for (const FilterTypeName& candidate : kFilterTypes) {
        if (!words.empty() && words[0] == candidate.name) {
            kind = &candidate;
        }
    }
    if (kind == nullptr) {
        return fail(line_, "unknown filter type " + Quoted(words.empty() ? "" : words[0]) +
                               " (expected peaking, lowshelf, highshelf, lowpass or highpass)");
    }
    const std::size_t expected = kind->takesGain ? 4 : 3;
    if (words.size() != expected) {
        return fail(line_,
                    std::string(kind->name) + " takes " +
                        (kind->takesGain ? "frequency Hz, Q and gain dB" : "frequency Hz and Q") +
                        ", got " + std::to_string(words.size() - 1) + " values");
    }
    FilterSection section;
    section.type = kind->type;
    if (!readNumber("frequency", words[1], kFrequencyHz, section.frequencyHz) ||
        !readNumber("Q", words[2], kQuality, section.q)) {
        return false;
    }
    if (kind->takesGain && !readNumber("gain", words[3], kFilterGainDb, section.gainDb)) {
        return false;
    }
    if (section.frequencyHz >= 0.5 * kLowestEffectRate) {
        notes_ += std::string(notes_.empty() ? "" : "; ") + "line " + std::to_string(line_) + ": " +
                  std::string(kind->name) + " at " + Number(section.frequencyHz) +
                  " Hz is at or above half of " + Number(kLowestEffectRate) +
                  " Hz: at that rate it passes its input through";
    }
    preset.sections[preset.sectionCount++] = section;
    return true;
}

bool Parser::handleConfigurationKey(std::string_view key, std::string_view value) {
    ConfigurationSettings& configuration = settings_.configurations[index_];
    if (key == "left") {
        return markKey(seen_.left, key) &&
               parseDownmixRow(key, SplitWords(value), configuration.left);
    }
    if (key == "right") {
        return markKey(seen_.right, key) &&
               parseDownmixRow(key, SplitWords(value), configuration.right);
    }
    if (key == "filters") {
        return markKey(seen_.filters, key) && parseSwitch(key, value, configuration.filtersEnabled);
    }
    if (key == "limiter") {
        return markKey(seen_.limiterSwitch, key) &&
               parseSwitch(key, value, configuration.limiterEnabled);
    }
    return fail(line_, "unknown key " + Quoted(key) + " in " + sectionName() +
                           " (expected left, right, filters or limiter)");
}

bool Parser::parseDownmixRow(std::string_view key, const std::vector<std::string_view>& words,
                             std::array<float, kMaxInputChannels>& row) {
    const int channels = settings_.configurations[index_].channelCount;
    if (words.size() != static_cast<std::size_t>(channels)) {
        return fail(line_, std::string(key) + " takes " + std::to_string(channels) +
                               " channel gains in " + sectionName() + ", got " +
                               std::to_string(words.size()));
    }
    row.fill(0.0f);
    for (int channel = 0; channel < channels; ++channel) {
        double gain = 0.0;
        if (!readNumber(std::string(key) + " gain", words[channel], kDownmixGain, gain)) {
            return false;
        }
        row[channel] = static_cast<float>(gain);
    }
    return true;
}

bool Parser::parseSwitch(std::string_view key, std::string_view value, bool& target) {
    if (value == "on" || value == "off") {
        target = value == "on";
        return true;
    }
    return fail(line_, std::string(key) + " takes 'on' or 'off', not " + Quoted(value));
}

bool Parser::readNumber(std::string_view what, std::string_view word, Range range, double& value) {
    double parsed = 0.0;
    if (!ParseFiniteNumber(word, parsed)) {
        return fail(line_, std::string(what) + " " + Quoted(word) + " is not a number");
    }
    if (parsed < range.low || parsed > range.high) {
        return fail(line_, std::string(what) + " " + std::string(word) + " is out of range (" +
                               Number(range.low) + " to " + Number(range.high) + ")");
    }
    value = parsed;
    return true;
}

} // namespace

ParseOutcome ParseConfiguration(const char* text, std::size_t length) {
    try {
        return Parser().run(text, length);
    } catch (const std::bad_alloc&) {
        ParseOutcome outcome;
        outcome.message = "out of memory while reading the configuration";
        outcome.settings = BuiltInSettings();
        return outcome;
    }
}

} // namespace kovra
