// kovractl.exe as a user runs it, against render endpoints made in the test prefix's registry,
// which Wine's device enumerator lists (as "not present"; it lists none without a sound card).
// Each run is a new process, so each enumerator sees the endpoints the test made. The built
// KovraAPO.dll is registered for the tests, since install refuses an effect that cannot load.
#include "fxlayouts.h"
#include "programrun.h"

#include <gtest/gtest.h>

namespace {

using namespace ctltest;

constexpr wchar_t kSpeakersGuid[] = L"{7E57F1A0-0000-4000-8000-0000000000A1}";
constexpr wchar_t kHeadphonesGuid[] = L"{7E57F1A0-0000-4000-8000-0000000000B1}";
constexpr wchar_t kEnableValue[] = L"{9BBA1A70-B911-4369-91B3-DFD016440527},0";
constexpr wchar_t kModeValue[] = L"{6A8CEA73-EC85-43D5-AC08-41DE5079A2FD},0";
const std::wstring kProductKey = L"SOFTWARE\\KovraAPO";
constexpr char kEffectsOff[] = "Warning: system effects are off for this endpoint";

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

std::wstring PropertiesPath(const TestEndpoint& endpoint) {
    return kRenderEndpoints + endpoint.guid + L"\\Properties";
}

class KovractlProgram : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Regsvr32(L"/s"), 0u); }
    void TearDown() override { Regsvr32(L"/s /u"); }

    // Runs `arguments`, expects `exitCode` and every line of `lines` in what it printed.
    ProgramRun Expect(const std::wstring& arguments, DWORD exitCode,
                      const std::vector<std::string>& lines) {
        const ProgramRun run = RunKovractl(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << run.out << run.err;
        for (const std::string& line : lines) {
            EXPECT_TRUE(Contains(run.out + run.err, line)) << "no \"" << line << "\" in:\n"
                                                           << run.out << run.err;
        }
        return run;
    }

    TestEndpoint speakers{kSpeakersGuid, L"Kovra Test Speakers"};
    TestEndpoint headphones{kHeadphonesGuid, L"Kovra Test Kopfhörer"};
};

TEST_F(KovractlProgram, EveryLayoutKeepsTheDriversEffectsThroughInstallListSetAndUninstall) {
    for (const FxLayoutCase& layout : kFxLayouts) {
        SCOPED_TRACE(layout.name);
        DeleteTree(speakers.FxPath());
        if (layout.fxKey) {
            WriteValues(speakers.FxPath(), layout.before);
        }
        WriteValues(PropertiesPath(speakers), layout.properties);
        const std::vector<Value> fxBefore = ValuesOf(speakers.FxPath());
        const std::vector<Value> properties = ValuesOf(PropertiesPath(speakers));
        const bool disabled =
            !layout.properties.empty() ||
            std::any_of(layout.before.begin(), layout.before.end(),
                        [](const Value& value) { return value.name == kDisableSysFx; });
        const std::string enhancements =
            disabled ? "  enhancements:     DISABLED: \"Disable all enhancements\" is ticked"
                     : "  enhancements:     on\n";

        const std::string listed = ListBlock(RunKovractl(L"list").out, "Kovra Test Speakers");
        for (const std::string& line :
             {"  FX layout:        " + std::string(layout.layoutLine) + "\n",
              std::string("  KovraAPO:         not installed\n"), enhancements}) {
            EXPECT_TRUE(Contains(listed, line)) << "no \"" << line << "\" in:\n" << listed;
        }
        EXPECT_EQ(ValuesOf(speakers.FxPath()), fxBefore);

        Expect(L"install speakers", 0,
               {"KovraAPO installed on Kovra Test Speakers", disabled ? kEffectsOff : ""});
        const std::vector<Value> installed = ValuesOf(speakers.FxPath());
        EXPECT_EQ(installed, Sorted(layout.afterInstall));
        Expect(L"list", 0, {"  KovraAPO:         " + std::string(layout.installedLine)});
        Expect(L"set speakers enable=1 mode=0", 0,
               {"enable: absent -> 1", disabled ? kEffectsOff : ""});
        EXPECT_EQ(ValuesOf(speakers.FxPath()), installed);
        // Wine's endpoint store adds values of its own here; the test's stay as they were.
        std::vector<Value> withSettings = properties;
        withSettings.push_back(Dword(kEnableValue, 1));
        withSettings.push_back(Dword(kModeValue, 0));
        const std::vector<Value> settingsAfter = ValuesOf(PropertiesPath(speakers));
        for (const Value& value : withSettings) {
            EXPECT_NE(std::find(settingsAfter.begin(), settingsAfter.end(), value),
                      settingsAfter.end())
                << testing::PrintToString(value);
        }

        Expect(L"uninstall speakers", 0,
               {"KovraAPO removed from Kovra Test Speakers",
                disabled ? "Note: system effects stay off for this endpoint" : ""});
        EXPECT_EQ(ValuesOf(speakers.FxPath()), fxBefore);
        EXPECT_EQ(KeyExists(speakers.FxPath()), layout.fxKey);
        EXPECT_FALSE(KeyExists(speakers.SavedPath()));
        DeleteTree(PropertiesPath(speakers));
        WriteValues(PropertiesPath(speakers), {Text(kFriendlyNameValue, L"Kovra Test Speakers")});
    }
}

TEST_F(KovractlProgram, ListShowsEveryFxValueWithItsMeaning) {
    WriteValues(speakers.FxPath(),
                {List(kCompositeStream, {kForeignA, kKovraClsid}), Text(kStreamSlot, kKovraClsid),
                 List(kStreamModes, {kDefaultMode, kOtherMode}),
                 Text(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},99", L"x")});
    const ProgramRun list = RunKovractl(L"list");
    ASSERT_EQ(list.exitCode, 0u) << list.err;
    EXPECT_EQ(
        ListBlock(list.out, "Kovra Test Speakers"),
        "Kovra Test Speakers\n"
        "  id:               {0.0.0.00000000}.{7E57F1A0-0000-4000-8000-0000000000A1}\n"
        "  state:            not present\n"
        "  FX layout:        composite: lists of stream, mode and endpoint effects (Windows 10 "
        "1803 and later)\n"
        "    {d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13  composite stream effects (SFX): "
        "{11111111-AAAA-4BBB-8CCC-000000000001}, {FAF1CE67-1B93-41FD-8DE6-83DA87D38A92} "
        "(KovraAPO)\n"
        "    {d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5  stream effect (SFX): "
        "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92} (KovraAPO)\n"
        "    {d04e05a6-594b-4fb6-a80d-01af5eed7d1d},99  not known to kovractl: x\n"
        "    {d3993a3f-99c2-4402-b5ec-a92a0367664b},5  processing modes of the stream effect: "
        "{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3} (default mode), "
        "{44444444-AAAA-4BBB-8CCC-000000000004}\n"
        "  KovraAPO:         installed: composite stream effects (SFX) "
        "{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13\n"
        "  enhancements:     on\n"
        "  enable:           absent\n"
        "  mode:             absent\n"
        "  effect runs:      preset 2, engine configuration \"N_ch_bypass\"\n");
    // KovraAPO in a value that the layout makes Windows ignore is not installed.
    DeleteTree(speakers.FxPath());
    WriteValues(speakers.FxPath(), {Text(kPreMixSlot, kKovraClsid), Text(kModeSlot, kForeignA)});
    EXPECT_TRUE(Contains(RunKovractl(L"list").out,
                         "  KovraAPO:         not loaded: named in "
                         "{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1, which Windows does not read "
                         "on this layout\n"));
}

TEST_F(KovractlProgram, InstallRefusesAnEffectThatCannotLoadUnlessForced) {
    const std::wstring server =
        L"SOFTWARE\\Classes\\CLSID\\" + std::wstring(kKovraClsid) + L"\\InprocServer32";
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring alone = std::wstring(temporary) + L"KovraAPO-alone.dll";
    ASSERT_TRUE(CopyFileW(BesideTestProgram(L"KovraAPO.dll").c_str(), alone.c_str(), FALSE));
    const struct {
        const char* name;
        std::wstring module; // empty: not registered at all
        const char* message;
    } cases[] = {
        {"not registered", L"",
         "the audio engine's entry HKCR\\AudioEngine\\AudioProcessingObjects\\"
         "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92} is missing: register it with regsvr32"},
        {"module missing", L"C:\\nowhere\\KovraAPO.dll",
         "C:\\nowhere\\KovraAPO.dll, which its COM registration names, does not exist"},
        {"engine library missing", alone, "KovraAPI_SHARED.dll must lie beside "},
    };
    WriteValues(speakers.FxPath(), {Text(kStreamSlot, kForeignA)});
    const std::vector<Value> before = ValuesOf(speakers.FxPath());
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        if (entry.module.empty()) {
            Regsvr32(L"/s /u");
        } else {
            Regsvr32(L"/s");
            WriteValues(server, {Text(L"", entry.module)});
        }
        Expect(L"install speakers", 4,
               {"the audio engine could not load KovraAPO", entry.message,
                "install --force installs it all the same"});
        EXPECT_EQ(ValuesOf(speakers.FxPath()), before);
        EXPECT_FALSE(KeyExists(speakers.SavedPath()));
        Expect(L"install speakers --force", 0, {"Warning: the audio engine cannot load KovraAPO"});
        Expect(L"uninstall speakers", 0, {});
        EXPECT_EQ(ValuesOf(speakers.FxPath()), before);
    }
    DeleteFileW(alone.c_str());
}

TEST_F(KovractlProgram, UninstallAllRestoresEveryEndpointBeforeCleanupRemovesTheProductKey) {
    WriteValues(speakers.FxPath(), {Text(kPreMixSlot, kForeignA)});
    const std::vector<Value> speakersBefore = ValuesOf(speakers.FxPath());
    WriteValues(kProductKey, {Text(L"EnableTrace", L"true")});
    Expect(L"install speakers", 0, {});
    Expect(L"install Kopfh\u00F6rer", 0, {});
    TestEndpoint packaged{L"{7E57F1A0-0000-4000-8000-0000000000C1}", L"Kovra Test Packaged"};
    WriteValues(packaged.FxPath(), {Kovra(kStreamSlot)}); // as a driver package leaves it

    // A record of an endpoint that Windows has removed since.
    const std::wstring goneGuid = L"{7E57F1A0-0000-4000-8000-0000000000E1}";
    WriteValues(kReplacedEffects + goneGuid, {Text(kStreamSlot, kForeignA)});
    const std::string dropGone =
        "reg delete \"HKLM\\SOFTWARE\\KovraAPO\\Replaced\\{7E57F1A0-0000-4000-8000-0000000000E1}\" "
        "/f /reg:64";

    const ProgramRun refused = Expect(
        L"cleanup", 4,
        {"HKLM\\SOFTWARE\\KovraAPO is kept", "Kovra Test Speakers",
         "    kovractl uninstall \"{0.0.0.00000000}.{7E57F1A0-0000-4000-8000-0000000000A1}\"\n",
         "Kovra Test Kopfhörer", "    " + dropGone + "  (the endpoint is gone"});
    EXPECT_FALSE(Contains(refused.err, "Packaged"));
    // Only the removed endpoint's record is to be dropped by hand.
    EXPECT_EQ(refused.err.find("reg delete"), refused.err.rfind("reg delete")) << refused.err;
    EXPECT_TRUE(KeyExists(kProductKey));

    Expect(L"uninstall --all", 4,
           {"KovraAPO removed from Kovra Test Speakers", "KovraAPO removed from Kovra Test Kopf",
            "KovraAPO is on Kovra Test Packaged", "but no backup",
            "{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5  stream effect (SFX): "
            "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92} -> (absent)",
            "the endpoint " + std::string(goneGuid.begin(), goneGuid.end()) + " no longer exists",
            dropGone + " drops the record"});
    EXPECT_EQ(ValuesOf(speakers.FxPath()), speakersBefore);
    EXPECT_FALSE(KeyExists(headphones.FxPath()));
    EXPECT_EQ(ValuesOf(packaged.FxPath()), (std::vector<Value>{Kovra(kStreamSlot)}));
    EXPECT_EQ(RunProgram(std::wstring(dropGone.begin(), dropGone.end())).exitCode, 0u);

    Expect(L"uninstall --all --force", 0, {"KovraAPO removed from Kovra Test Packaged"});
    EXPECT_TRUE(ValuesOf(packaged.FxPath()).empty());
    Expect(L"uninstall --all", 0, {"KovraAPO is not installed on any render endpoint"});
    Expect(L"cleanup", 0, {"HKLM\\SOFTWARE\\KovraAPO removed"});
    EXPECT_FALSE(KeyExists(kProductKey));
}

// Windows switches an endpoint's system effects off after an effect failed to load ten times;
// list says so, and only enable-effects switches them on again, in both places they are kept.
TEST_F(KovractlProgram, ListShowsEffectsSwitchedOffAndEnableEffectsSwitchesThemOn) {
    const Value offload = Text(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},11", kForeignB);
    WriteValues(speakers.FxPath(),
                {Dword(kDisableSysFx, 1), Text(kStreamSlot, kForeignA), offload});
    WriteValues(PropertiesPath(speakers), {Dword(kDisableSysFx, 1)});
    const std::string block = ListBlock(RunKovractl(L"list").out, "Kovra Test Speakers");
    for (const char* line :
         {"  enhancements:     DISABLED: \"Disable all enhancements\" is ticked, or Windows "
          "switched the system effects off after one failed to load ten times in a row",
          "Once the cause is fixed: kovractl enable-effects "
          "\"{0.0.0.00000000}.{7E57F1A0-0000-4000-8000-0000000000A1}\"\n",
          "  offload:          offload effects in {d04e05a6-594b-4fb6-a80d-01af5eed7d1d},11: "
          "streams the driver offloads to hardware do not pass through KovraAPO\n"}) {
        EXPECT_TRUE(Contains(block, line)) << "no \"" << line << "\" in:\n" << block;
    }
    Expect(L"enable-effects speakers", 0, {"System effects switched back on for Kovra Test"});
    EXPECT_EQ(ValuesOf(speakers.FxPath()),
              Sorted({Dword(kDisableSysFx, 0), Text(kStreamSlot, kForeignA), offload}));
    const std::vector<Value> properties = ValuesOf(PropertiesPath(speakers));
    EXPECT_NE(std::find(properties.begin(), properties.end(), Dword(kDisableSysFx, 0)),
              properties.end());
    Expect(L"enable-effects speakers", 0, {"System effects are on for Kovra Test Speakers"});
}

// Whether the audio engine loads an effect without a release signature, as list says it.
TEST_F(KovractlProgram, ListSaysWhichFileIsRegisteredAndHowSigningStands) {
    const std::wstring audio = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Audio";
    const std::wstring control = L"SYSTEM\\CurrentControlSet\\Control";
    const std::vector<Value> startOptions = ValuesOf(control);
    const struct {
        std::wstring key;
        Value value;
        const char* line;
    } cases[] = {
        {audio, Dword(L"Unrelated", 1), "Signing: only signed effects load"},
        {control, Text(L"SystemStartOptions", L" NOEXECUTE=OPTIN  TESTSIGNING"),
         "Signing: test signing is on: the audio engine loads a test-signed KovraAPO.dll"},
        {audio, Dword(L"DisableProtectedAudioDG", 1),
         "Signing: DisableProtectedAudioDG is 1: the audio engine loads KovraAPO unsigned too"},
    };
    for (const auto& entry : cases) {
        WriteValues(entry.key, {entry.value});
        const std::string out = RunKovractl(L"list").out;
        EXPECT_TRUE(Contains(out, entry.line)) << out;
        EXPECT_TRUE(Contains(out, "KovraAPO.dll, version 1.0.0.0\n")) << out;
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, entry.key.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                      &key);
        RegDeleteValueW(key, entry.value.name.c_str());
        RegCloseKey(key);
    }
    WriteValues(control, startOptions);
}

TEST_F(KovractlProgram, SetWritesThroughTheEndpointStoreAndSaysWhatTheEffectDoes) {
    const struct {
        const wchar_t* settings;
        std::vector<std::string> lines;
    } steps[] = {
        {L"enable=1",
         {"enable: absent -> 1", "mode:   absent (unchanged)",
          "With enable 1 and mode 0 the effect runs preset 0, engine configuration \"N_ch\": "
          "the filters on.",
          "A playing stream switches to it now."}},
        {L"mode=0x2",
         {"enable: 1 (unchanged)", "mode:   absent -> 2",
          "With enable 1 and mode 2 the effect runs the preset it had (2 for a new effect)."}},
        {L"enable=0 mode=1",
         {"enable: 1 -> 0", "mode:   2 -> 1",
          "With enable 0 and mode 1 the effect runs preset 1, engine configuration "
          "\"N_ch_bypass\".",
          "A playing stream switches to it now."}},
    };
    for (const auto& step : steps) {
        std::vector<std::string> lines = step.lines;
        lines.push_back("KovraAPO is not installed on this endpoint yet");
        Expect(L"set Kopfh\u00F6rer " + std::wstring(step.settings), 0, lines);
    }
    // A new process reads back what the last one wrote, through the store again.
    const std::string block = ListBlock(RunKovractl(L"list").out, "Kovra Test Kopfhörer");
    EXPECT_TRUE(Contains(block, "  enable:           0\n  mode:             1\n")) << block;
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
        const ProgramRun run =
            Expect(entry.arguments, 2, {std::string("kovractl: ") + entry.message});
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_TRUE(Contains(RunKovractl(L"list extra").err, "Usage:"));
}

} // namespace
