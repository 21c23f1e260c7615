// kovractl.exe as a user runs it, against render endpoints made in the test prefix's registry,
// which Wine's device enumerator lists (as "not present"; it lists none without a sound card).
// Each run is a new process, so each enumerator sees the endpoints the test made.
#include "ctltestsupport.h"
#include "programrun.h"

#include <gtest/gtest.h>

namespace {

using namespace ctltest;

constexpr wchar_t kSpeakersGuid[] = L"{7E57F1A0-0000-4000-8000-0000000000A1}";
constexpr wchar_t kHeadphonesGuid[] = L"{7E57F1A0-0000-4000-8000-0000000000B1}";
constexpr wchar_t kOtherEffect[] = L"{11111111-AAAA-4BBB-8CCC-000000000001}";

// The lines `list` prints for the endpoint titled `title`, up to the blank line after them.
std::string ListBlock(const std::string& listOutput, const std::string& title) {
    const size_t start = listOutput.find("\n" + title + "\n");
    if (start == std::string::npos) {
        return "";
    }
    const size_t end = listOutput.find("\n\n", start + 1);
    return listOutput.substr(start + 1, end == std::string::npos ? std::string::npos : end - start);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class KovractlProgram : public ::testing::Test {
protected:
    KovractlProgram() { WriteValues(speakers.FxPath(), {Text(kPreMixSlot, kOtherEffect)}); }

    TestEndpoint speakers{kSpeakersGuid, L"Kovra Test Speakers"};
    TestEndpoint headphones{kHeadphonesGuid, L"Kovra Test Kopfhörer"};
};

TEST_F(KovractlProgram, ListShowsEveryEndpointWithItsSlotsAndProperties) {
    const ProgramRun list = RunKovractl(L"list");
    ASSERT_EQ(list.exitCode, 0u) << list.err;
    EXPECT_EQ(ListBlock(list.out, "Kovra Test Speakers"),
              "Kovra Test Speakers\n"
              "  id:               {0.0.0.00000000}.{7E57F1A0-0000-4000-8000-0000000000A1}\n"
              "  state:            not present\n"
              "  pre-mix effect:   {11111111-AAAA-4BBB-8CCC-000000000001}\n"
              "  stream effect:    none\n"
              "  KovraAPO:         not installed\n"
              "  enable:           absent\n"
              "  mode:             absent\n"
              "  effect runs:      preset 2, engine configuration \"N_ch_bypass\"\n");
    EXPECT_EQ(ListBlock(list.out, "Kovra Test Kopfhörer"),
              "Kovra Test Kopfhörer\n"
              "  id:               {0.0.0.00000000}.{7E57F1A0-0000-4000-8000-0000000000B1}\n"
              "  state:            not present\n"
              "  pre-mix effect:   none (no FxProperties key)\n"
              "  stream effect:    none (no FxProperties key)\n"
              "  KovraAPO:         not installed\n"
              "  enable:           absent\n"
              "  mode:             absent\n"
              "  effect runs:      preset 2, engine configuration \"N_ch_bypass\"\n");
}

TEST_F(KovractlProgram, SetWritesThroughTheEndpointStoreAndSaysWhatTheEffectDoes) {
    const struct {
        const wchar_t* settings;
        const char* enableLine;
        const char* modeLine;
        const char* effect;
        const char* playing;
    } steps[] = {
        {L"enable=1", "enable: absent -> 1", "mode:   absent (unchanged)",
         "With enable 1 and mode 0 the effect runs preset 0, engine configuration \"N_ch\": the "
         "filters on.",
         "A playing stream switches to it now."},
        {L"mode=0x2", "enable: 1 (unchanged)", "mode:   absent -> 2",
         "With enable 1 and mode 2 the effect runs the preset it had (2 for a new effect).", ""},
        {L"enable=0 mode=1", "enable: 1 -> 0", "mode:   2 -> 1",
         "With enable 0 and mode 1 the effect runs preset 1, engine configuration "
         "\"N_ch_bypass\".",
         "A playing stream switches to it now."},
    };
    for (const auto& step : steps) {
        const ProgramRun set = RunKovractl(L"set Kopfh\u00F6rer " + std::wstring(step.settings));
        ASSERT_EQ(set.exitCode, 0u) << set.err;
        EXPECT_TRUE(Contains(set.out, step.enableLine)) << set.out;
        EXPECT_TRUE(Contains(set.out, step.modeLine)) << set.out;
        EXPECT_TRUE(Contains(set.out, step.effect)) << set.out;
        EXPECT_TRUE(Contains(set.out, step.playing)) << set.out;
        EXPECT_TRUE(Contains(set.out, "KovraAPO is not installed on this endpoint yet"));
    }
    // A new process reads back what the last one wrote, through the store again.
    const std::string block = ListBlock(RunKovractl(L"list").out, "Kovra Test Kopfhörer");
    EXPECT_TRUE(Contains(block, "  enable:           0\n  mode:             1\n")) << block;
}

TEST_F(KovractlProgram, InstallAndUninstallTellWhatTheyChanged) {
    const std::vector<Value> before = ValuesOf(speakers.FxPath());
    const struct {
        const wchar_t* command;
        std::vector<const char*> lines;
    } steps[] = {
        {L"install speakers",
         {"KovraAPO installed on Kovra Test Speakers",
          "pre-mix slot:  replaces {11111111-AAAA-4BBB-8CCC-000000000001}",
          "stream slot:   was empty", "regsvr32 KovraAPO.dll"}},
        {L"list", {"KovraAPO:         installed (pre-mix and stream slots)"}},
        {L"install speakers", {"KovraAPO is already installed on Kovra Test Speakers"}},
        {L"uninstall speakers",
         {"KovraAPO removed from Kovra Test Speakers",
          "pre-mix slot:  restored {11111111-AAAA-4BBB-8CCC-000000000001}",
          "stream slot:   empty again"}},
        {L"uninstall speakers", {"KovraAPO is not installed on Kovra Test Speakers"}},
    };
    for (const auto& step : steps) {
        const ProgramRun run = RunKovractl(step.command);
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        for (const char* line : step.lines) {
            EXPECT_TRUE(Contains(run.out, line)) << "no \"" << line << "\" in:\n" << run.out;
        }
    }
    EXPECT_EQ(ValuesOf(speakers.FxPath()), before);
}

TEST_F(KovractlProgram, ArgumentErrorsGetTheirMessageAndExitCodeTwo) {
    const struct {
        const wchar_t* arguments;
        const char* message;
    } cases[] = {
        {L"set \"No Such Endpoint\" enable=1",
         "no render endpoint has the id \"No Such Endpoint\" or a name containing it"},
        {L"install \"Kovra Test\"", "\"Kovra Test\" matches 2 endpoints"},
        {L"set speakers enable=x", "\"enable=x\": \"x\" is not a number"},
        {L"uninstall default", "there is no default render endpoint"},
        {L"", "no command given"},
    };
    for (const auto& entry : cases) {
        const ProgramRun run = RunKovractl(entry.arguments);
        EXPECT_EQ(run.exitCode, 2u) << entry.message;
        EXPECT_TRUE(Contains(run.err, std::string("kovractl: ") + entry.message)) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_TRUE(Contains(RunKovractl(L"list extra").err, "Usage:"));
}

} // namespace
