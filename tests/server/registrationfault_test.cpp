// Registration when the registry refuses a write. Wine's registry lets its user write anything,
// so the refusal comes through the server's own seam for registry writes.
#include "aporegistration.h"
#include "modulestate.h"
#include "serverexports.h"
#include "registrytestsupport.h"
#include "registrywrites.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using namespace servertest;

// Which write the registry refuses: a key created with exactly the path `key` (relative to the
// key it is created under), or a value named `value` ("" for a key's default value). Null
// matches nothing.
struct Refusal {
    const wchar_t* key;
    const wchar_t* value;
};

Refusal refusal{};

LSTATUS WINAPI RefusingCreateKey(HKEY parent, LPCWSTR path, DWORD reserved, LPWSTR keyClass,
                                 DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                                 PHKEY key, LPDWORD disposition) {
    if (refusal.key && path && std::wcscmp(path, refusal.key) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return RegCreateKeyExW(parent, path, reserved, keyClass, options, access, security, key,
                           disposition);
}

LSTATUS WINAPI RefusingSetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD size) {
    if (refusal.value && std::wcscmp(name ? name : L"", refusal.value) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return RegSetValueExW(key, name, reserved, type, data, size);
}

class RefusedRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveEverythingRegistered();
        saved = registryWrites;
        registryWrites = {&RefusingCreateKey, &RefusingSetValue};
    }
    void TearDown() override {
        registryWrites = saved;
        refusal = {};
        RemoveEverythingRegistered();
    }

    static void ExpectNothingRegistered() {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kEngineEntryKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServerKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey));
    }

    RegistryWrites saved{};
};

struct RefusalCase {
    const char* what;
    Refusal refusal;
};

// Every write of the three entries can fail; none may leave a half registration that reports
// success.
const RefusalCase kRefusals[] = {
    {"audio engine's key", {L"AudioEngine\\AudioProcessingObjects", nullptr}},
    {"audio engine's entry", {kClsidText, nullptr}},
    {"friendly name", {nullptr, L"FriendlyName"}},
    {"maximum instances", {nullptr, L"MaxInstances"}},
    {"interface id", {nullptr, L"APOInterface0"}},
    {"class key", {kClassKey, nullptr}},
    {"server key", {kServerKey, nullptr}},
    {"class name", {nullptr, L""}},
    {"threading model", {nullptr, L"ThreadingModel"}},
};

TEST_F(RefusedRegistration, AnyRefusedWriteFailsAndLeavesNothingRegistered) {
    for (const RefusalCase& refused : kRefusals) {
        SCOPED_TRACE(refused.what);
        RemoveEverythingRegistered();
        refusal = refused.refusal;
        EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        ExpectNothingRegistered();
    }
}

TEST_F(RefusedRegistration, ClassKeyOfAnEarlierRegistrationStaysWhenTheServerKeyIsRefused) {
    refusal = {};
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kServerKey, KEY_WOW64_64KEY, 0), ERROR_SUCCESS);

    refusal = {kServerKey, nullptr};
    EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kEngineEntryKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey)) << "not written by the failed call";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServerKey));
}

TEST(AudioEngineEntry, RecordWithMoreInterfacesThanItHoldsIsRefused) {
    APO_REG_PROPERTIES record = registrationProperties;
    record.u32NumAPOInterfaces = 2;
    EXPECT_EQ(WriteAPORegistration(record), E_INVALIDARG);
}

TEST(AudioEngineEntry, DeletingAnAbsentEntryReportsFileNotFound) {
    RemoveEverythingRegistered();
    EXPECT_EQ(DeleteAPORegistration(CLSID_NULL), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

} // namespace
