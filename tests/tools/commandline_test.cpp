// kovractl's command line: what each command takes, and the message a bad one gets.
#include "commandline.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::wstring>;

TEST(CommandLine, GoodCommandsAreTakenApart) {
    const struct {
        Arguments arguments;
        CommandKind kind;
        std::wstring endpoint;
        std::optional<UINT32> enable;
        std::optional<UINT32> mode;
        bool all = false;
        bool force = false;
    } cases[] = {
        {{L"list"}, CommandKind::List, L"", {}, {}},
        {{L"set", L"default", L"enable=1"}, CommandKind::Set, L"default", 1u, {}},
        {{L"set", L"Speakers", L"mode=0x10"}, CommandKind::Set, L"Speakers", {}, 16u},
        {{L"set", L"x", L"mode=4294967295", L"enable=0"}, CommandKind::Set, L"x", 0u, 4294967295u},
        {{L"install", L"{0.0.0.00000000}.{A}"},
         CommandKind::Install,
         L"{0.0.0.00000000}.{A}",
         {},
         {}},
        {{L"uninstall", L"Kopfhörer"}, CommandKind::Uninstall, L"Kopfhörer", {}, {}},
        {{L"install", L"--force", L"x"}, CommandKind::Install, L"x", {}, {}, false, true},
        {{L"uninstall", L"--all"}, CommandKind::Uninstall, L"", {}, {}, true, false},
        {{L"uninstall", L"--all", L"--force"}, CommandKind::Uninstall, L"", {}, {}, true, true},
        {{L"cleanup"}, CommandKind::Cleanup, L"", {}, {}},
        {{L"enable-effects", L"default"}, CommandKind::EnableEffects, L"default", {}, {}},
        {{L"--help"}, CommandKind::Help, L"", {}, {}},
        {{L"--version"}, CommandKind::Version, L"", {}, {}},
    };
    for (const auto& entry : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(entry.arguments);
        EXPECT_TRUE(parsed.error.empty()) << parsed.error.c_str();
        EXPECT_EQ(parsed.command.kind, entry.kind);
        EXPECT_EQ(parsed.command.endpoint, entry.endpoint);
        EXPECT_EQ(parsed.command.enable, entry.enable);
        EXPECT_EQ(parsed.command.mode, entry.mode);
        EXPECT_EQ(parsed.command.allEndpoints, entry.all);
        EXPECT_EQ(parsed.command.force, entry.force);
    }
}

TEST(CommandLine, BadCommandsGetAMessageNamingTheFault) {
    const struct {
        Arguments arguments;
        std::wstring message;
    } cases[] = {
        {{}, L"no command given"},
        {{L"remove", L"x"}, L"unknown command \"remove\""},
        {{L"list", L"x"}, L"list takes no arguments"},
        {{L"install"}, L"install needs an ENDPOINT"},
        {{L"set", L""}, L"set needs an ENDPOINT"},
        {{L"set", L"x"}, L"set needs enable=N, mode=N or both"},
        {{L"set", L"x", L"enable=x"}, L"\"enable=x\": \"x\" is not a number from 0 to 4294967295"},
        {{L"set", L"x", L"enable=-1"}, L"\"-1\" is not a number"},
        {{L"set", L"x", L"mode=4294967296"}, L"\"4294967296\" is not a number"},
        {{L"set", L"x", L"mode=1.5"}, L"\"1.5\" is not a number"},
        {{L"set", L"x", L"enable="}, L"\"enable=\" has no value (expected enable=N)"},
        {{L"set", L"x", L"mode"}, L"\"mode\" has no value (expected mode=N)"},
        {{L"set", L"x", L"volume=3"}, L"unknown setting \"volume=3\""},
        {{L"set", L"x", L"mode=1", L"mode=2"}, L"mode is given twice"},
        {{L"uninstall", L"x", L"y"}, L"unexpected argument \"y\""},
        {{L"uninstall"}, L"uninstall needs an ENDPOINT or --all"},
        {{L"uninstall", L"x", L"--all"}, L"an ENDPOINT or --all, not both"},
        {{L"install", L"--all"}, L"unknown option \"--all\" for install"},
        {{L"install", L"x", L"--force", L"--force"}, L"--force is given twice"},
        {{L"cleanup", L"x"}, L"cleanup takes no arguments"},
        {{L"enable-effects", L"x", L"--force"}, L"enable-effects needs one ENDPOINT"},
    };
    for (const auto& entry : cases) {
        const std::wstring error = ParseCommandLine(entry.arguments).error;
        EXPECT_NE(error.find(entry.message), std::wstring::npos)
            << "expected \"" << testing::PrintToString(entry.message) << "\" in "
            << testing::PrintToString(error);
    }
}

} // namespace
