// kovractl on an endpoint that Wine itself lists: run with ALSA_CONFIG_PATH naming a null ALSA
// device (ctest sets it for this program), Wine lists that device as an active render endpoint
// and makes it the default, so `set` writes through the real endpoint property store.
#include "ctltestsupport.h"
#include "programrun.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace ctltest;

constexpr char kIdStart[] = "  {0.0.0.00000000}.";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Where Wine keeps an endpoint's properties; the test takes back the two it wrote.
void ForgetProperties(const std::string& guid) {
    const std::wstring path =
        kRenderEndpoints + std::wstring(guid.begin(), guid.end()) + L"\\Properties";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, L"{9BBA1A70-B911-4369-91B3-DFD016440527},0");
        RegDeleteValueW(key, L"{6A8CEA73-EC85-43D5-AC08-41DE5079A2FD},0");
        RegCloseKey(key);
    }
}

TEST(WineEndpoint, SetInstallAndListReachTheDefaultEndpoint) {
    if (!std::getenv("ALSA_CONFIG_PATH")) {
        GTEST_SKIP() << "ALSA_CONFIG_PATH must name a null ALSA device (ctest sets it)";
    }
    const ProgramRun set = RunKovractl(L"set default enable=1 mode=0");
    ASSERT_EQ(set.exitCode, 0u) << set.err;
    const std::string firstLine = set.out.substr(0, set.out.find('\n'));
    const size_t idStart = firstLine.find(kIdStart);
    ASSERT_NE(idStart, std::string::npos) << set.out;
    const std::string title = firstLine.substr(0, idStart);
    const std::string guid = firstLine.substr(idStart + sizeof kIdStart - 1);
    EXPECT_TRUE(Contains(set.out, "With enable 1 and mode 0 the effect runs preset 0, engine "
                                  "configuration \"N_ch\": the filters on."))
        << set.out;

    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    const ProgramRun install = RunKovractl(L"install default");
    Regsvr32(L"/s /u");
    EXPECT_EQ(install.exitCode, 0u) << install.err;
    const ProgramRun list = RunKovractl(L"list");
    const size_t block = list.out.find("\n" + title + "\n");
    ASSERT_NE(block, std::string::npos) << list.out;
    const std::string lines = list.out.substr(block, list.out.find("\n\n", block + 1) - block);
    for (const char* expected :
         {"  state:            active\n", "  KovraAPO:         installed: stream effect (SFX)",
          "  enable:           1\n  mode:             0\n"}) {
        EXPECT_TRUE(Contains(lines, expected)) << "no \"" << expected << "\" in" << lines;
    }
    EXPECT_EQ(RunKovractl(L"uninstall default").exitCode, 0u);
    ForgetProperties(guid);
    EXPECT_FALSE(
        KeyExists(kRenderEndpoints + std::wstring(guid.begin(), guid.end()) + L"\\FxProperties"));
}

} // namespace
