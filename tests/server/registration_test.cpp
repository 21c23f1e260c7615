// Registration and unregistration through the real registry of the test prefix, by direct calls
// and by regsvr32 on the built DLL.
#include "modulestate.h"
#include "serverexports.h"
#include "programrunner.h"
#include "registrytestsupport.h"

#include <gtest/gtest.h>

namespace {

using namespace servertest;

std::wstring TestProgramPath() {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { RemoveEverythingRegistered(); }
    void TearDown() override { RemoveEverythingRegistered(); }

    // Exactly the three tables: no other value, no other subkey.
    static void ExpectRegisteredFor(const std::wstring& modulePath) {
        EXPECT_EQ(ValuesOf(HKEY_CLASSES_ROOT, kEngineEntryKey),
                  ExpectedEngineEntry(registrationProperties.szCopyrightInfo));
        EXPECT_TRUE(SubkeysOf(HKEY_CLASSES_ROOT, kEngineEntryKey).empty());
        EXPECT_EQ(ValuesOf(HKEY_LOCAL_MACHINE, kClassKey), ExpectedClassKey());
        EXPECT_EQ(SubkeysOf(HKEY_LOCAL_MACHINE, kClassKey),
                  std::vector<std::wstring>{L"InprocServer32"});
        EXPECT_EQ(ValuesOf(HKEY_LOCAL_MACHINE, kServerKey), ExpectedServerKey(modulePath));
        EXPECT_TRUE(SubkeysOf(HKEY_LOCAL_MACHINE, kServerKey).empty());
    }

    static void ExpectNothingRegistered() {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kEngineEntryKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServerKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey));
    }
};

TEST_F(Registration, DirectCallWritesExactlyTheThreeEntries) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    // Linked into this program, the module is the program itself.
    ExpectRegisteredFor(TestProgramPath());
}

TEST_F(Registration, Regsvr32WritesExactlyTheThreeEntries) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    ExpectRegisteredFor(EffectModulePath());
}

TEST_F(Registration, RegisteringAgainRemovesAStaleValue) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    {
        OpenKey entry(HKEY_CLASSES_ROOT, kEngineEntryKey, KEY_SET_VALUE);
        ASSERT_TRUE(entry.Exists());
        const std::vector<BYTE> stale = TextBytes(L"{00000000-0000-0000-0000-000000000000}");
        ASSERT_EQ(RegSetValueExW(entry.Get(), L"APOInterface1", 0, REG_SZ, stale.data(),
                                 static_cast<DWORD>(stale.size())),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ExpectRegisteredFor(TestProgramPath());
}

TEST_F(Registration, UnregisteringRemovesTheThreeEntriesAndKeepsTheEnginesKey) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    ExpectNothingRegistered();
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kObjectsKey));
}

TEST_F(Registration, Regsvr32UnregistersWhatItRegistered) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
    ExpectNothingRegistered();
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kObjectsKey));
}

TEST_F(Registration, UnregisteringTwiceReportsTheMissingEntry) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(Regsvr32(L"/u /s"), 0u);
}

TEST_F(Registration, ClassKeyWithAForeignSubkeyStays) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    HKEY foreign = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\Foreign").c_str(),
                              0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_WOW64_64KEY,
                              nullptr, &foreign, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(foreign);

    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kEngineEntryKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServerKey));
    EXPECT_EQ(SubkeysOf(HKEY_LOCAL_MACHINE, kClassKey), std::vector<std::wstring>{L"Foreign"});
}

TEST_F(Registration, EngineEntryWithASubkeyIsReportedWhenItCannotBeRemoved) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT,
                              (std::wstring(kEngineEntryKey) + L"\\Child").c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);

    EXPECT_EQ(DllUnregisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kEngineEntryKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey));
}

} // namespace
