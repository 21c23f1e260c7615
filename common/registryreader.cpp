// Reads one string value from the registry by its full key path, for the trace log's switch.
// Every failure becomes a RegistryException whose message is ready to be written to the log.
#include "loghelper.h"
#include "registrykey.h"

#include <vector>

namespace {

struct RootKeyName {
    const wchar_t* name;
    HKEY key;
};

// Tested in this order. Short forms (HKLM) and the roots missing here are not accepted.
const RootKeyName rootKeyNames[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
};

// Upper-cases a to z only, as the "C" locale does, so the result never depends on a locale
// the hosting process may have set.
std::wstring UpperCaseAscii(std::wstring text) {
    for (wchar_t& character : text) {
        if (character >= L'a' && character <= L'z') {
            character = static_cast<wchar_t>(character - L'a' + L'A');
        }
    }
    return text;
}

[[noreturn]] void ThrowReadError(const std::wstring& keyPath, const std::wstring& valueName,
                                 LONG errorCode) {
    throw RegistryException(L"Error while reading registry value " + keyPath + L"\\" + valueName +
                            L": " + GetSystemErrorText(static_cast<uint32_t>(errorCode)));
}

} // namespace

RegistryKeyPath ParseKeyPath(const std::wstring& keyPath) {
    const size_t separator = keyPath.find(L'\\');
    if (separator == std::wstring::npos) {
        throw RegistryException(L"Key " + keyPath + L" has invalid format");
    }
    const std::wstring rootName = keyPath.substr(0, separator);
    const std::wstring upperRootName = UpperCaseAscii(rootName);
    for (const RootKeyName& root : rootKeyNames) {
        if (upperRootName == root.name) {
            return RegistryKeyPath{root.key, keyPath.substr(separator + 1)};
        }
    }
    throw RegistryException(L"Unknown root key " + rootName);
}

std::wstring ReadRegistryString(const std::wstring& keyPath, const std::wstring& valueName) {
    const RegistryKeyPath path = ParseKeyPath(keyPath);

    RegistryKey key;
    LONG result = RegOpenKeyExW(path.root, path.subkey.c_str(), 0,
                                KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive());
    if (result != ERROR_SUCCESS) {
        throw RegistryException(L"Error while opening registry key " + keyPath + L": " +
                                GetSystemErrorText(static_cast<uint32_t>(result)));
    }

    DWORD type = REG_NONE;
    DWORD sizeInBytes = 0;
    result = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &sizeInBytes);
    if (result != ERROR_SUCCESS) {
        ThrowReadError(keyPath, valueName, result);
    }
    if (type != REG_SZ) {
        throw RegistryException(L"Registry value " + keyPath + L"\\" + valueName +
                                L" has wrong type");
    }

    // One spare character, so a value stored without its terminating NUL still fits.
    std::vector<wchar_t> buffer(sizeInBytes / sizeof(wchar_t) + 1);
    result = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer.data()), &sizeInBytes);
    if (result != ERROR_SUCCESS) {
        ThrowReadError(keyPath, valueName, result);
    }

    size_t length = sizeInBytes / sizeof(wchar_t);
    if (length > 0 && buffer[length - 1] == L'\0') {
        --length;
    }
    return std::wstring(buffer.data(), length);
}

std::wstring GetSystemErrorText(uint32_t errorCode) {
    // Without FORMAT_MESSAGE_IGNORE_INSERTS a text with "%1" would make the system read insert
    // values we never pass; with it the markers stay in the text as they stand.
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return std::wstring();
    }
    struct LocalText {
        wchar_t* text;
        ~LocalText() { LocalFree(text); }
    } owner{text};
    return std::wstring(text, length);
}
