// Reading configuration text: the shipped file, partial files, and one message with its line
// number for every kind of mistake; then Kovra_initialize with real files.
#include "configparser.h"
#include "enginesettings.h"
#include "enginetesting.h"
#include "kovraengine.h"
#include "kovramessages.h"
#include "limiter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kovra::EngineSettings;
using kovra::ParseConfiguration;
using kovra::ParseOutcome;

ParseOutcome Parse(const std::string& text) {
    return ParseConfiguration(text.data(), text.size());
}

void ExpectSameSettings(const EngineSettings& expected, const EngineSettings& actual) {
    for (int index = 0; index < kovra::kConfigurationCount; ++index) {
        SCOPED_TRACE(kovra::ConfigurationName(index));
        const kovra::ConfigurationSettings& e = expected.configurations[index];
        const kovra::ConfigurationSettings& a = actual.configurations[index];
        EXPECT_EQ(e.channelCount, a.channelCount);
        EXPECT_EQ(e.left, a.left);
        EXPECT_EQ(e.right, a.right);
        EXPECT_EQ(e.filtersEnabled, a.filtersEnabled);
        EXPECT_EQ(e.limiterEnabled, a.limiterEnabled);
    }
    for (int index = 0; index < kovra::kPresetCount; ++index) {
        SCOPED_TRACE("preset " + std::to_string(index));
        const kovra::PresetSettings& e = expected.presets[index];
        const kovra::PresetSettings& a = actual.presets[index];
        EXPECT_EQ(e.preGainDb, a.preGainDb);
        EXPECT_EQ(e.limiter.ceilingDb, a.limiter.ceilingDb);
        EXPECT_EQ(e.limiter.releaseMs, a.limiter.releaseMs);
        EXPECT_EQ(e.limiter.holdMs, a.limiter.holdMs);
        ASSERT_EQ(e.sectionCount, a.sectionCount);
        for (int s = 0; s < e.sectionCount; ++s) {
            EXPECT_EQ(e.sections[s].type, a.sections[s].type);
            EXPECT_EQ(e.sections[s].frequencyHz, a.sections[s].frequencyHz);
            EXPECT_EQ(e.sections[s].q, a.sections[s].q);
            EXPECT_EQ(e.sections[s].gainDb, a.sections[s].gainDb);
        }
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ConfigParser, ShippedFileDescribesTheBuiltInSettings) {
    const std::string text = ReadFile(kovra_test::ShippedConfigurationPath());
    ASSERT_FALSE(text.empty());
    const ParseOutcome outcome = Parse(text);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    ExpectSameSettings(kovra::BuiltInSettings(), outcome.settings);
}

TEST(ConfigParser, EmptyOrCommentOnlyTextKeepsTheBuiltInSettings) {
    for (const char* text : {"", "\n\n", "# nothing here\n  ; nor here\n", "\xEF\xBB\xBF"}) {
        const ParseOutcome outcome = Parse(text);
        ASSERT_TRUE(outcome.ok) << outcome.message;
        ExpectSameSettings(kovra::BuiltInSettings(), outcome.settings);
    }
}

TEST(ConfigParser, SectionReplacesItsBuiltInAsAWholeAndLeavesTheRest) {
    const ParseOutcome outcome = Parse("\xEF\xBB\xBF# edited by hand\r\n"
                                       "[preset 1]\r\n"
                                       "\tfilter = peaking 1e3 +2 -6.5   # a dip\r\n"
                                       "filter=lowpass 8000 0.5\r\n"
                                       "[configuration 6_ch_bypass]\r\n"
                                       "left = 1 0 0.5 0.25 0.5 0\r\n"
                                       "right = 0 1 0.5 0.25 0 0.5\r\n"
                                       "limiter = off\r\n");
    ASSERT_TRUE(outcome.ok) << outcome.message;
    const kovra::PresetSettings& preset = outcome.settings.presets[1];
    EXPECT_EQ(0.0, preset.preGainDb); // not given: the neutral value, not the built-in -3
    EXPECT_EQ(0.0, preset.limiter.ceilingDb);
    ASSERT_EQ(2, preset.sectionCount);
    EXPECT_EQ(kovra::FilterType::Peaking, preset.sections[0].type);
    EXPECT_EQ(1000.0, preset.sections[0].frequencyHz);
    EXPECT_EQ(2.0, preset.sections[0].q);
    EXPECT_EQ(-6.5, preset.sections[0].gainDb);
    EXPECT_EQ(kovra::FilterType::LowPass, preset.sections[1].type);

    const kovra::ConfigurationSettings& configuration = outcome.settings.configurations[3];
    EXPECT_EQ(6, configuration.channelCount);
    EXPECT_EQ(0.25f, configuration.left[3]);
    EXPECT_EQ(0.5f, configuration.right[5]);
    EXPECT_TRUE(configuration.filtersEnabled);
    EXPECT_FALSE(configuration.limiterEnabled);

    EngineSettings expected = kovra::BuiltInSettings();
    expected.presets[1] = outcome.settings.presets[1];
    expected.configurations[3] = outcome.settings.configurations[3];
    ExpectSameSettings(expected, outcome.settings);
}

struct MalformedCase {
    const char* text;
    int line;
    const char* message; // the part of the message after "line N: "
};

TEST(ConfigParser, LimiterHoldIsOptional) {
    const ParseOutcome outcome = Parse("[preset 0]\nlimiter = -2 100 40\n"
                                       "[preset 1]\nlimiter = -3 200\n");
    ASSERT_TRUE(outcome.ok) << outcome.message;
    const kovra::LimiterSettings& held = outcome.settings.presets[0].limiter;
    EXPECT_EQ(-2.0, held.ceilingDb);
    EXPECT_EQ(100.0, held.releaseMs);
    EXPECT_EQ(40.0, held.holdMs);
    EXPECT_EQ(kovra::LimiterSettings{}.holdMs, outcome.settings.presets[1].limiter.holdMs);
    EXPECT_EQ(200.0, outcome.settings.presets[1].limiter.releaseMs);
}

TEST(ConfigParser, EveryKindOfMistakeIsNamedWithItsLine) {
    const MalformedCase cases[] = {
        {"pregain = 1\n", 1, "key 'pregain' comes before any [section] header"},
        {"[preset 0\n", 1, "section header '[preset 0' lacks its closing ']'"},
        {"\n[effects]\n", 2, "unknown section '[effects]' (expected [preset N] or"},
        {"[preset]\n", 1, "unknown section '[preset]'"},
        {"[preset 3]\n", 1, "unknown preset '3' (expected 0, 1 or 2)"},
        {"[configuration 4_ch]\n", 1, "unknown configuration '4_ch' (expected 2_ch,"},
        {"[preset 0]\n[preset 1]\n\n[preset 0]\n", 4,
         "[preset 0] is defined twice (first at line 1)"},
        {"[preset 0]\npregain\n", 2, "expected 'key = value' or a [section] header, found"},
        {"[preset 0]\n = 3\n", 2, "no key before '='"},
        {"[preset 0]\npregain =\n", 2, "key 'pregain' has no value"},
        {"[preset 0]\ngian = 3\n", 2, "unknown key 'gian' in [preset 0] (expected pregain,"},
        {"[preset 2]\npregain = 1\npregain = 2\n", 3, "key 'pregain' is given twice in [preset 2]"},
        {"[preset 0]\npregain = loud\n", 2, "pregain 'loud' is not a number"},
        {"[preset 0]\npregain = 3dB\n", 2, "pregain '3dB' is not a number"},
        {"[preset 0]\npregain = nan\n", 2, "pregain 'nan' is not a number"},
        {"[preset 0]\npregain = 1 2\n", 2, "pregain takes one value (dB), got 2"},
        {"[preset 0]\npregain = 30\n", 2, "pregain 30 is out of range (-48 to 24)"},
        {"[preset 0]\nlimiter = -1\n", 2,
         "limiter takes two or three values (ceiling dBFS, release ms, hold ms), got 1"},
        {"[preset 0]\nlimiter = -1 50 20 5\n", 2,
         "limiter takes two or three values (ceiling dBFS, release ms, hold ms), got 4"},
        {"[preset 0]\nlimiter = -1 50 201\n", 2, "limiter hold 201 is out of range (0 to 200)"},
        {"[preset 0]\nlimiter = 1 50\n", 2, "limiter ceiling 1 is out of range (-24 to 0)"},
        {"[preset 0]\nlimiter = -1 0\n", 2, "limiter release 0 is out of range (1 to 2000)"},
        {"[preset 1]\nfilter = notch 100 1\n", 2, "unknown filter type 'notch'"},
        {"[preset 1]\nfilter = peaking 100 1\n", 2,
         "peaking takes frequency Hz, Q and gain dB, got 2 values"},
        {"[preset 1]\nfilter = lowpass 100 1 3\n", 2,
         "lowpass takes frequency Hz and Q, got 3 values"},
        {"[preset 1]\nfilter = highpass 5 1\n", 2, "frequency 5 is out of range (10 to 40000)"},
        {"[preset 1]\nfilter = highpass 50 0\n", 2, "Q 0 is out of range (0.1 to 20)"},
        {"[preset 1]\nfilter = lowshelf 50 1 30\n", 2, "gain 30 is out of range (-24 to 24)"},
        {"[preset 1]\nfilter = lowshelf 50 1 --3\n", 2, "gain '--3' is not a number"},
        {"[preset 0]\nfilter = peaking 100 1 1\nfilter = peaking 100 1 1\n"
         "filter = peaking 100 1 1\nfilter = peaking 100 1 1\nfilter = peaking 100 1 1\n"
         "filter = peaking 100 1 1\nfilter = peaking 100 1 1\nfilter = peaking 100 1 1\n"
         "filter = peaking 100 1 1\n",
         10, "more than 8 filters in [preset 0]"},
        {"[configuration 2_ch]\nleft = 1 0\n", 1, "[configuration 2_ch] lacks 'right'"},
        {"[configuration 2_ch]\nright = 0 1\n[preset 0]\n", 1, "[configuration 2_ch] lacks 'left'"},
        {"[configuration 6_ch]\nleft = 1 0 1 0 1\n", 2,
         "left takes 6 channel gains in [configuration 6_ch], got 5"},
        {"[configuration 2_ch]\nleft = 1 9\n", 2, "left gain 9 is out of range (-4 to 4)"},
        {"[configuration 2_ch]\nright = 0 inf\n", 2, "right gain 'inf' is not a number"},
        {"[configuration 2_ch]\nfilters = yes\n", 2, "filters takes 'on' or 'off', not 'yes'"},
        {"[configuration 2_ch]\nlimiter = on\nlimiter = off\n", 3,
         "key 'limiter' is given twice in [configuration 2_ch]"},
        {"[configuration 2_ch]\nbass = 1\n", 2, "unknown key 'bass' in [configuration 2_ch]"},
        {"[preset 0]\npregain = 1\x01\n", 2, "control character (code 1) in the line"},
        {"[preset 0]\npregain = 1\n\n\n\n\n\n\n\n\n\n\n[bogus 1]\n", 13, "unknown section"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.text);
        const ParseOutcome outcome = Parse(c.text);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(c.line, outcome.line);
        const std::string prefix = "line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(0u, outcome.message.find(prefix + c.message)) << outcome.message;
        ExpectSameSettings(kovra::BuiltInSettings(), outcome.settings);
    }
}

TEST(ConfigParser, NulByteInTheTextIsRefused) {
    const std::string text("[preset 0]\npregain = 1\0\n", 24);
    const ParseOutcome outcome = Parse(text);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("line 2: control character (code 0) in the line", outcome.message);
}

// Kovra_initialize with files on disk.
class ConfigFile : public ::testing::Test {
protected:
    std::string message() {
        char text[512];
        Kovra_getInitializeMessage(text, sizeof text);
        return text;
    }
    // Output of one 2-channel block through "2_ch" with preset 0, taken its latency later.
    std::vector<float> twoChannelOutput(const std::vector<float>& input) {
        kovra_test::Engine engine("2_ch");
        EXPECT_EQ(KovraResult_kOk, engine.prepare(48000, 2, 64));
        engine.pastFadeIn();
        return engine.processAligned(input, 2);
    }

    kovra_test::BuiltInSettingsAfterwards restore_;
    kovra_test::TempFolder folder_;
    // Preset 0 as a plain -6 dB gain, so a loaded file is easy to recognise.
    const std::string halfGain_ = "[preset 0]\npregain = -6.0206\n"
                                  "[configuration 2_ch]\nleft = 1 0\nright = 0 1\nlimiter = off\n";
};

TEST_F(ConfigFile, GoodFileIsUsedByInstancesCreatedAfterwards) {
    ASSERT_EQ(KovraResult_kOk, Kovra_initialize(folder_.write("good.config", halfGain_).c_str()));
    EXPECT_EQ("", message());
    const std::vector<float> output = twoChannelOutput({0.5f, -0.8f});
    EXPECT_NEAR(0.25f, output[0], 1e-6f);
    EXPECT_NEAR(-0.4f, output[1], 1e-6f);
}

TEST_F(ConfigFile, FilterThatTheLowerRateCannotCarryIsNotedAndPassesThroughThere) {
    // Preset 1 on stereo with one low-pass above 24 kHz: at 48 kHz the chain changes nothing,
    // so it is the exact bypass (no limiter, no delay); at 96 kHz it filters and limits.
    const std::string text = "[preset 1]\nfilter = lowpass 30000 20\n";
    const std::string path = folder_.write("air.config", text);
    ASSERT_EQ(KovraResult_kOk, Kovra_initialize(path.c_str()));
    EXPECT_EQ(path + ": line 2: lowpass at 30000 Hz is at or above half of 48000 Hz: at that "
                     "rate it passes its input through",
              message());
    const std::vector<float> input = {0.5f, -0.25f, 0.125f, 1.0f};
    for (int32_t rate : {48000, 96000}) {
        kovra_test::Engine engine("2_ch_bypass");
        ASSERT_EQ(KovraResult_kOk, engine.prepare(rate, 2, 64));
        ASSERT_EQ(KovraResult_kOk, engine.load(1));
        engine.pastFadeIn();
        EXPECT_EQ(rate == 48000, input == engine.process(input, 2)) << rate;
        EXPECT_EQ(rate == 48000 ? 0u : kovra::Limiter::LookAheadFrames(rate), engine.latency());
    }
}

TEST_F(ConfigFile, MissingFileIsNotAvailableAndBuiltInsApply) {
    const std::vector<float> input = {0.5f, -0.8f};
    const std::vector<float> builtIn = twoChannelOutput(input);
    ASSERT_EQ(KovraResult_kOk, Kovra_initialize(folder_.write("good.config", halfGain_).c_str()));
    const std::string missing = folder_.pathOf("missing.config");
    EXPECT_EQ(KovraResult_kErrorNotAvailable, Kovra_initialize(missing.c_str()));
    EXPECT_EQ("cannot open configuration file '" + missing + "'", message());
    EXPECT_EQ(builtIn, twoChannelOutput(input));
    EXPECT_EQ(KovraResult_kErrorParameter, Kovra_initialize(nullptr));
}

TEST_F(ConfigFile, MalformedFileIsRefusedWithItsLineAndBuiltInsApply) {
    const std::vector<float> input = {0.5f, -0.8f};
    const std::vector<float> builtIn = twoChannelOutput(input);
    ASSERT_EQ(KovraResult_kOk, Kovra_initialize(folder_.write("good.config", halfGain_).c_str()));
    const std::string bad =
        folder_.write("bad.config", "[preset 0]\r\n\r\nfilter = bell 1 2 3\r\n");
    EXPECT_EQ(KovraResult_kFailed, Kovra_initialize(bad.c_str()));
    EXPECT_EQ(bad + ": line 3: unknown filter type 'bell' (expected peaking, lowshelf, highshelf, "
                    "lowpass or highpass)",
              message());
    EXPECT_EQ(builtIn, twoChannelOutput(input));
}

TEST_F(ConfigFile, OversizedFileIsRefusedUnread) {
    const std::string huge(2u << 20, '#');
    EXPECT_EQ(KovraResult_kFailed, Kovra_initialize(folder_.write("huge.config", huge).c_str()));
    EXPECT_NE(std::string::npos, message().find("is larger than"));
}

TEST_F(ConfigFile, ShippedFileLoads) {
    EXPECT_EQ(KovraResult_kOk, Kovra_initialize(kovra_test::ShippedConfigurationPath().c_str()))
        << message();
}

} // namespace
