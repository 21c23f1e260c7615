#include "commontestsupport.h"
#include "loghelper.h"

#include <gtest/gtest.h>

namespace {

std::wstring ExceptionMessage(const std::wstring& keyPath, const std::wstring& valueName) {
    try {
        ReadRegistryString(keyPath, valueName);
    } catch (const RegistryException& exception) {
        return exception.Message();
    }
    return L"<no exception>";
}

std::wstring ParseError(const std::wstring& keyPath) {
    try {
        ParseKeyPath(keyPath);
    } catch (const RegistryException& exception) {
        return exception.Message();
    }
    return L"<no exception>";
}

// Stores `data` with its byte count changed by `extraBytes`: a negative count leaves its last
// characters out, so a value can be stored that is followed by no NUL at all.
void SetBytes(const ScratchRegistryKey& key, const wchar_t* name, DWORD type,
              const std::wstring& data, int extraBytes = 0) {
    key.SetValue(name, type, data.data(),
                 static_cast<DWORD>(static_cast<int>(data.size() * sizeof(wchar_t)) + extraBytes));
}

} // namespace

TEST(ParseKeyPath, SplitsAtTheFirstBackslashAndIgnoresTheCaseOfTheRoot) {
    struct Case {
        const wchar_t* keyPath;
        HKEY root;
        const wchar_t* subkey;
    };
    const Case cases[] = {
        {L"HKEY_CLASSES_ROOT\\CLSID", HKEY_CLASSES_ROOT, L"CLSID"},
        {L"HKEY_CURRENT_CONFIG\\System", HKEY_CURRENT_CONFIG, L"System"},
        {L"HKEY_CURRENT_USER\\Software", HKEY_CURRENT_USER, L"Software"},
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KovraAPO", HKEY_LOCAL_MACHINE, L"SOFTWARE\\KovraAPO"},
        {L"HKEY_USERS\\.DEFAULT", HKEY_USERS, L".DEFAULT"},
        {L"hkey_Local_machine\\SOFTWARE\\KovraAPO", HKEY_LOCAL_MACHINE, L"SOFTWARE\\KovraAPO"},
        {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE, L""},
        {L"HKEY_USERS\\a\\b\\\\c", HKEY_USERS, L"a\\b\\\\c"},
    };
    for (const Case& c : cases) {
        const RegistryKeyPath path = ParseKeyPath(c.keyPath);
        EXPECT_EQ(path.root, c.root) << c.keyPath;
        EXPECT_EQ(path.subkey, c.subkey) << c.keyPath;
    }
}

TEST(ParseKeyPath, RejectsMalformedPathsAndUnknownRoots) {
    struct Case {
        const wchar_t* keyPath;
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"HKEY_LOCAL_MACHINE", L"Key HKEY_LOCAL_MACHINE has invalid format"},
        {L"", L"Key  has invalid format"},
        {L"HKLM\\SOFTWARE\\KovraAPO", L"Unknown root key HKLM"},
        {L"HKEY_PERFORMANCE_DATA\\x", L"Unknown root key HKEY_PERFORMANCE_DATA"},
        {L"\\SOFTWARE", L"Unknown root key "},
        {L"HKEY_LOCAL_MACHINE \\SOFTWARE", L"Unknown root key HKEY_LOCAL_MACHINE "},
        // Only a to z are upper-cased: a dotless i must not pass for an I.
        {L"hkey_local_mach\x0131ne\\SOFTWARE", L"Unknown root key hkey_local_mach\x0131ne"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseError(c.keyPath), c.message);
    }
}

TEST(ReadRegistryString, RemovesExactlyOneTerminatingNul) {
    ScratchRegistryKey key;
    struct Case {
        const wchar_t* name;
        std::wstring stored;
        int extraBytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"one", std::wstring(L"false\0", 6), 0, L"false"},
        {L"two", std::wstring(L"false\0\0", 7), 0, std::wstring(L"false\0", 6)},
        {L"none", L"falseX", -2, L"false"}, // the count ends before the X: no NUL follows
        {L"inner", std::wstring(L"a\0b\0", 4), 0, std::wstring(L"a\0b", 3)},
        {L"empty", L"", 0, L""},
        {L"odd", std::wstring(L"false\0", 6), 1, L"false"}, // a stray last byte is ignored
    };
    for (const Case& c : cases) {
        SetBytes(key, c.name, REG_SZ, c.stored, c.extraBytes);
        EXPECT_EQ(ReadRegistryString(key.FullPath(), c.name), c.expected) << c.name;
    }
}

TEST(ReadRegistryString, RootNameInLowerCaseReadsTheSameValue) {
    ScratchRegistryKey key;
    SetBytes(key, L"EnableTrace", REG_SZ, std::wstring(L"true\0", 5));
    std::wstring lowerCasePath = key.FullPath();
    lowerCasePath.replace(0, 17, L"hkey_current_user");
    EXPECT_EQ(ReadRegistryString(lowerCasePath, L"EnableTrace"), L"true");
}

TEST(ReadRegistryString, EmptySubkeyReadsFromTheRootItself) {
    const std::wstring valueName =
        L"KovraCommonTest-root-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring text = L"at the root";
    ASSERT_EQ(RegSetValueExW(HKEY_CURRENT_USER, valueName.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    std::wstring read;
    EXPECT_NO_THROW(read = ReadRegistryString(L"HKEY_CURRENT_USER\\", valueName));
    RegDeleteValueW(HKEY_CURRENT_USER, valueName.c_str());
    EXPECT_EQ(read, text);
}

TEST(ReadRegistryString, ValuesThatAreNotPlainStringsHaveTheWrongType) {
    ScratchRegistryKey key;
    const DWORD number = 1;
    key.SetValue(L"dword", REG_DWORD, &number, sizeof(number));
    SetBytes(key, L"expand", REG_EXPAND_SZ, std::wstring(L"%TEMP%\0", 7));
    SetBytes(key, L"multi", REG_MULTI_SZ, std::wstring(L"a\0\0", 3));
    key.SetValue(L"binary", REG_BINARY, "ab", 2);
    for (const wchar_t* name : {L"dword", L"expand", L"multi", L"binary"}) {
        EXPECT_EQ(ExceptionMessage(key.FullPath(), name),
                  L"Registry value " + key.FullPath() + L"\\" + name + L" has wrong type");
    }
}

TEST(ReadRegistryString, MissingValueAndKeyCarryTheSystemTextWithItsLineEnd) {
    ScratchRegistryKey key;
    const std::wstring notFound = GetSystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(notFound.size(), 2u);
    EXPECT_EQ(notFound.substr(notFound.size() - 2), L"\r\n");

    EXPECT_EQ(ExceptionMessage(key.FullPath(), L"EnableTrace"),
              L"Error while reading registry value " + key.FullPath() + L"\\EnableTrace: " +
                  notFound);
    EXPECT_EQ(ExceptionMessage(key.FullPath() + L"\\Missing", L"EnableTrace"),
              L"Error while opening registry key " + key.FullPath() + L"\\Missing: " + notFound);
}

TEST(GetSystemErrorText, KeepsInsertMarkersAndIsEmptyForUnknownCodes) {
    const std::wstring withInsert = GetSystemErrorText(ERROR_DISK_CHANGE);
    EXPECT_NE(withInsert.find(L"%"), std::wstring::npos) << "text with markers is kept";
    EXPECT_EQ(GetSystemErrorText(0x20001234u), L"");
}
