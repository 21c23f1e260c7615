// Refusals: a caller that is not elevated, and registry keys that are not writable. Wine runs
// every program elevated and lets it write any key, so both come through kovractl's own seam.
#include "commands.h"
#include "controlplatform.h"
#include "ctltestsupport.h"
#include "fxslots.h"

#include <gtest/gtest.h>
#include <mmdeviceapi.h>

#include <cwchar>

namespace {

using namespace ctltest;

constexpr wchar_t kEndpointGuid[] = L"{7E57F1A0-0000-4000-8000-00000000C7A2}";

// What the registry refuses: keys whose path ends in `keyEnding`, and the value `valueName`.
struct Refusal {
    bool elevated = true;
    const wchar_t* keyEnding = nullptr;
    const wchar_t* valueName = nullptr;
} refusal;

bool EndsWith(const wchar_t* path, const wchar_t* ending) {
    const size_t pathLength = std::wcslen(path);
    const size_t endingLength = std::wcslen(ending);
    return pathLength >= endingLength && _wcsicmp(path + pathLength - endingLength, ending) == 0;
}

bool Refused(const wchar_t* path) {
    return refusal.keyEnding && path && EndsWith(path, refusal.keyEnding);
}

bool Elevated() {
    return refusal.elevated;
}

LSTATUS WINAPI OpenKey(HKEY parent, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    return Refused(path) ? ERROR_ACCESS_DENIED : RegOpenKeyExW(parent, path, options, access, key);
}

LSTATUS WINAPI CreateKey(HKEY parent, LPCWSTR path, DWORD reserved, LPWSTR keyClass, DWORD options,
                         REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key,
                         LPDWORD disposition) {
    return Refused(path) ? ERROR_ACCESS_DENIED
                         : RegCreateKeyExW(parent, path, reserved, keyClass, options, access,
                                           security, key, disposition);
}

LSTATUS WINAPI SetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD size) {
    if (refusal.valueName && name && std::wcscmp(name, refusal.valueName) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return RegSetValueExW(key, name, reserved, type, data, size);
}

// Lists the test's endpoint; its property store refuses writing, as a store opened by a caller
// that is not elevated does.
class RefusingEndpoints : public EndpointSource {
public:
    HRESULT ListRenderEndpoints(std::vector<EndpointInfo>& endpoints) override {
        endpoints = {{L"{0.0.0.00000000}." + std::wstring(kEndpointGuid), L"Refusing Speakers",
                      DEVICE_STATE_ACTIVE}};
        return S_OK;
    }
    HRESULT DefaultRenderEndpoint(std::wstring&) override {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT OpenPropertyStore(const std::wstring&, DWORD access, ComPtr<IPropertyStore>&) override {
        return access == STGM_READ ? E_NOTIMPL : E_ACCESSDENIED;
    }
};

class RefusalTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = controlPlatform;
        controlPlatform = {&Elevated, &OpenKey, &CreateKey, &SetValue, saved.deleteValue};
        refusal = {};
        WriteValues(endpoint.FxPath(),
                    {Text(kPreMixSlot, L"{11111111-AAAA-4BBB-8CCC-000000000001}")});
        before = ValuesOf(endpoint.FxPath());
    }
    void TearDown() override { controlPlatform = saved; }

    void ExpectNothingChanged() const {
        EXPECT_EQ(ValuesOf(endpoint.FxPath()), before);
        EXPECT_FALSE(KeyExists(endpoint.SavedPath()));
    }

    ControlPlatform saved{};
    TestEndpoint endpoint{kEndpointGuid};
    std::vector<Value> before;
};

TEST_F(RefusalTest, ARefusedKeyOrValueLeavesTheRegistryAsItWas) {
    const struct {
        std::wstring keyEnding;
        const wchar_t* valueName;
        std::wstring refusedPath;
    } cases[] = {
        {L"\\FxProperties", nullptr, endpoint.FxPath()},
        {L"Replaced\\" + endpoint.guid, nullptr, endpoint.SavedPath()}, // the product's own key
        {L"", kPreMixSlot, endpoint.SavedPath()}, // saving the replaced effect
        {L"", kStreamSlot, endpoint.FxPath()},    // the second slot, after the first
    };
    for (const auto& entry : cases) {
        refusal.keyEnding = entry.keyEnding.empty() ? nullptr : entry.keyEnding.c_str();
        refusal.valueName = entry.valueName;
        const FxOutcome outcome = InstallEffect(kEndpointGuid);
        EXPECT_EQ(outcome.change, FxChange::AccessDenied) << entry.refusedPath;
        EXPECT_EQ(outcome.keyPath, entry.refusedPath);
        ExpectNothingChanged();
    }
}

TEST_F(RefusalTest, TheCommandsSayWhatToDoAndExitWithThree) {
    const struct {
        CommandKind kind;
        bool elevated;
        const wchar_t* keyEnding;
        std::wstring message;
    } cases[] = {
        {CommandKind::Install, false, nullptr, L"install needs administrator rights"},
        {CommandKind::Uninstall, false, nullptr, L"uninstall needs administrator rights"},
        {CommandKind::Install, true, L"\\FxProperties",
         L"HKLM\\" + endpoint.FxPath() + L" is not writable (access denied)"},
        {CommandKind::Set, true, nullptr, L"run kovractl from an elevated command prompt"},
    };
    RefusingEndpoints endpoints;
    for (const auto& entry : cases) {
        refusal = {entry.elevated, entry.keyEnding, nullptr};
        Command command;
        command.kind = entry.kind;
        command.endpoint = L"Refusing";
        command.enable = 1;
        ConsoleText text;
        EXPECT_EQ(RunCommand(command, endpoints, text), kExitRefused) << entry.message;
        EXPECT_NE(text.err.find(entry.message), std::wstring::npos) << text.err;
        EXPECT_TRUE(text.out.empty());
        ExpectNothingChanged();
    }
}

} // namespace
