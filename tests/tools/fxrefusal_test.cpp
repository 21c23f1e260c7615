// Refusals: a caller that is not elevated, registry keys and values that are not writable, and a
// property store that takes one write of two. Wine runs every program elevated and lets it write
// any key, so all of them come through kovractl's own seams.
#include "commands.h"
#include "controlplatform.h"
#include "ctltestsupport.h"
#include "fxinstall.h"

#include <gtest/gtest.h>
#include <mmdeviceapi.h>

#include <cwchar>

namespace {

using namespace ctltest;

constexpr wchar_t kEndpointGuid[] = L"{7E57F1A0-0000-4000-8000-00000000C7A2}";
constexpr wchar_t kForeign[] = L"{11111111-AAAA-4BBB-8CCC-000000000001}";

// What the registry refuses: opening a key whose path ends in `keyEnding` for writing, or making
// a key below it; writing the value `valueName` (where `onlyWrite` is given, only its write of
// that number, counted from 1 in any key); deleting the value `deleteName` where it is.
struct Refusal {
    bool elevated = true;
    const wchar_t* keyEnding = nullptr;
    const wchar_t* valueName = nullptr;
    const wchar_t* deleteName = nullptr;
    int onlyWrite = 0;
    int writesSeen = 0;
} refusal;

bool Matches(const std::wstring& path) {
    const size_t length = refusal.keyEnding ? std::wcslen(refusal.keyEnding) : 0;
    return length && path.size() >= length &&
           _wcsicmp(path.c_str() + path.size() - length, refusal.keyEnding) == 0;
}

// A new key is made in its nearest existing ancestor, which must allow it.
bool Refused(std::wstring path) {
    while (!KeyExists(path) && path.find(L'\\') != std::wstring::npos) {
        path.resize(path.rfind(L'\\'));
    }
    return Matches(path);
}

bool SameName(const wchar_t* name, const wchar_t* refused) {
    return refused && name && _wcsicmp(name, refused) == 0;
}

bool Elevated() {
    return refusal.elevated;
}

LSTATUS WINAPI OpenKey(HKEY parent, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    return KeyExists(path) && Matches(path) ? ERROR_ACCESS_DENIED
                                            : RegOpenKeyExW(parent, path, options, access, key);
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
    const bool refused = SameName(name, refusal.valueName) &&
                         (refusal.onlyWrite == 0 || ++refusal.writesSeen == refusal.onlyWrite);
    return refused ? ERROR_ACCESS_DENIED : RegSetValueExW(key, name, reserved, type, data, size);
}

// Only a value that is there: deleting one that is not leaves nothing to refuse.
LSTATUS WINAPI DeleteValue(HKEY key, LPCWSTR name) {
    const bool present = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == 0;
    return SameName(name, refusal.deleteName) && present ? ERROR_ACCESS_DENIED
                                                         : RegDeleteValueW(key, name);
}

// Takes the first write and refuses the next, as a store whose second key is locked would.
class HalfWritableStore : public IPropertyStore {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IPropertyStore ? this : nullptr;
        return *object ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY, PROPVARIANT* value) override {
        PropVariantInit(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
        return ++writes == 1 ? S_OK : E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return S_OK; }
    int writes = 0;
};

// Lists the test's endpoint; its property store refuses writing, as a store opened by a caller
// that is not elevated does, or takes half of the writes.
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
    HRESULT OpenPropertyStore(const std::wstring&, DWORD access,
                              ComPtr<IPropertyStore>& store) override {
        if (access == STGM_READ || !halfWritable) {
            return access == STGM_READ ? E_NOTIMPL : E_ACCESSDENIED;
        }
        store = ComPtr<IPropertyStore>::Share(&halfStore);
        return S_OK;
    }
    bool halfWritable = false;
    HalfWritableStore halfStore;
};

class RefusalTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = controlPlatform;
        controlPlatform = {&Elevated, &OpenKey, &CreateKey, &SetValue, &DeleteValue};
        refusal = {};
        Arrange(true, {Text(kPreMixSlot, kForeign)});
    }
    void TearDown() override { controlPlatform = saved; }

    void Arrange(bool fxKey, const std::vector<Value>& values) {
        DeleteTree(endpoint.FxPath());
        if (fxKey) {
            WriteValues(endpoint.FxPath(), values);
        }
        before = ValuesOf(endpoint.FxPath());
        fxKeyBefore = fxKey;
    }

    void ExpectNothingChanged() const {
        EXPECT_EQ(ValuesOf(endpoint.FxPath()), before);
        EXPECT_EQ(KeyExists(endpoint.FxPath()), fxKeyBefore);
        EXPECT_FALSE(KeyExists(endpoint.SavedPath()));
    }

    ControlPlatform saved{};
    TestEndpoint endpoint{kEndpointGuid};
    std::vector<Value> before;
    bool fxKeyBefore = true;
};

TEST_F(RefusalTest, ARefusedKeyOrValueIsNamedAndLeavesTheRegistryAsItWas) {
    WriteValues(L"SOFTWARE\\KovraAPO\\Replaced", {});
    const struct {
        bool fxKey;
        std::vector<Value> values;
        std::wstring keyEnding;
        const wchar_t* valueName;
        std::wstring refusedPath;
    } cases[] = {
        {true, {Text(kPreMixSlot, kForeign)}, L"\\FxProperties", nullptr, endpoint.FxPath()},
        // Creating FxProperties is refused by the endpoint's key, which is named.
        {false, {}, endpoint.guid, nullptr, kRenderEndpoints + endpoint.guid},
        {true, {}, L"KovraAPO\\Replaced", nullptr, L"SOFTWARE\\KovraAPO\\Replaced"},
        {true, {Text(kPreMixSlot, kForeign)}, L"", kPreMixSlot, endpoint.SavedPath()},
        // The last of three values, after the first two were written and are taken back.
        {true, {}, L"", kStreamModes, endpoint.FxPath()},
        // The same where install made the FxProperties key, which goes again.
        {false, {}, L"", kStreamModes, endpoint.FxPath()},
        {true, {Text(kPreMixSlot, kForeign)}, L"", L"WrittenValues", endpoint.SavedPath()},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.refusedPath));
        Arrange(entry.fxKey, entry.values);
        refusal.keyEnding = entry.keyEnding.empty() ? nullptr : entry.keyEnding.c_str();
        refusal.valueName = entry.valueName;
        const FxOutcome outcome = InstallEffect(kEndpointGuid);
        EXPECT_EQ(outcome.change, FxChange::AccessDenied);
        EXPECT_EQ(outcome.keyPath, entry.refusedPath);
        EXPECT_FALSE(outcome.backupKept);
        ExpectNothingChanged();
    }
}

TEST_F(RefusalTest, WhatCannotBeTakenBackKeepsItsRecordForTheUninstall) {
    const struct {
        const char* name;
        bool install; // the failing step: install (its undo fails too) or uninstall
        const wchar_t* valueName;
        const wchar_t* deleteName;
    } cases[] = {
        {"install", true, kStreamModes, kStreamSlot},
        {"uninstall", false, kStreamSlot, kStreamSlot},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        Arrange(true, {Text(kModeSlot, kForeign)});
        if (!entry.install) {
            ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
        }
        refusal.valueName = entry.valueName;
        refusal.deleteName = entry.deleteName;
        const FxOutcome failed =
            entry.install ? InstallEffect(kEndpointGuid) : UninstallEffect(kEndpointGuid, false);
        EXPECT_EQ(failed.change, FxChange::AccessDenied);
        EXPECT_TRUE(failed.backupKept);
        EXPECT_TRUE(KeyExists(endpoint.SavedPath()));
        refusal = {};
        EXPECT_EQ(UninstallEffect(kEndpointGuid, false).change, FxChange::Uninstalled);
        ExpectNothingChanged();
    }
}

// After a driver update, a re-install whose write to the endpoint is refused leaves the record of
// the first install as it was.
TEST_F(RefusalTest, ARefusedReinstallLeavesTheEarlierRecordAsItWas) {
    Arrange(true, {Text(kStreamSlot, kForeign)});
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    WriteValues(endpoint.FxPath(), {Text(kStreamSlot, L"{22222222-AAAA-4BBB-8CCC-000000000002}")});
    const std::vector<Value> record = ValuesOf(endpoint.SavedPath());
    const std::vector<Value> updated = ValuesOf(endpoint.FxPath());
    refusal.valueName = kStreamSlot;
    refusal.onlyWrite = 2; // the record's write goes through, the endpoint's is refused
    EXPECT_EQ(InstallEffect(kEndpointGuid).change, FxChange::AccessDenied);
    EXPECT_EQ(ValuesOf(endpoint.SavedPath()), record);
    EXPECT_EQ(ValuesOf(endpoint.FxPath()), updated);
}

TEST_F(RefusalTest, AnInstalledEndpointWhoseKeyWasHandedBackStillReportsTheInstall) {
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    refusal.keyEnding = L"\\FxProperties";
    EXPECT_EQ(InstallEffect(kEndpointGuid).change, FxChange::AlreadyInstalled);
    refusal = {};
    EXPECT_EQ(UninstallEffect(kEndpointGuid, false).change, FxChange::Uninstalled);
    ExpectNothingChanged();
}

TEST_F(RefusalTest, TheCommandsSayWhatIsRefusedAndWhatWasWritten) {
    const struct {
        CommandKind kind;
        bool elevated;
        const wchar_t* keyEnding;
        bool halfWritable;
        int exitCode;
        std::wstring message;
        std::wstring written = L"";
        bool allEndpoints = false;
    } cases[] = {
        {CommandKind::Install, false, nullptr, false, kExitRefused,
         L"install needs administrator rights"},
        {CommandKind::Uninstall, false, nullptr, false, kExitRefused,
         L"uninstall needs administrator rights"},
        {CommandKind::Cleanup, false, nullptr, false, kExitRefused,
         L"cleanup needs administrator rights"},
        {CommandKind::Uninstall, false, nullptr, false, kExitRefused,
         L"uninstall needs administrator rights", L"", true},
        {CommandKind::Install, true, L"\\FxProperties", false, kExitRefused,
         L"HKLM\\" + endpoint.FxPath() + L" is not writable (access denied)"},
        {CommandKind::Set, true, nullptr, false, kExitRefused,
         L"run kovractl from an elevated command prompt"},
        {CommandKind::Set, true, nullptr, true, kExitRefused,
         L"the endpoint's property store refused writing enable (0x80070005",
         L"Already written, and kept: mode absent -> 1."},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.message));
        refusal = {entry.elevated, entry.keyEnding, nullptr, nullptr};
        RefusingEndpoints endpoints;
        endpoints.halfWritable = entry.halfWritable;
        Command command;
        command.kind = entry.kind;
        command.endpoint = entry.allEndpoints ? L"" : L"Refusing";
        command.allEndpoints = entry.allEndpoints;
        command.enable = 1;
        command.mode = 1;
        command.force = true; // the effect is not registered in this test
        ConsoleText text;
        EXPECT_EQ(RunCommand(command, endpoints, text), entry.exitCode);
        EXPECT_NE(text.err.find(entry.message), std::wstring::npos) << text.err;
        EXPECT_NE(text.err.find(entry.written), std::wstring::npos) << text.err;
        EXPECT_TRUE(text.out.empty());
        ExpectNothingChanged();
    }
}

} // namespace
