// Reading back what registration wrote: every value of a key with its type and bytes, the
// subkeys, and the three entries' expected contents.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace servertest {

inline constexpr wchar_t kClsidText[] = L"{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}";
inline constexpr wchar_t kObjectsKey[] = L"AudioEngine\\AudioProcessingObjects";
inline constexpr wchar_t kEngineEntryKey[] =
    L"AudioEngine\\AudioProcessingObjects\\{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}";
inline constexpr wchar_t kClassKey[] =
    L"SOFTWARE\\Classes\\CLSID\\{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}";
inline constexpr wchar_t kServerKey[] =
    L"SOFTWARE\\Classes\\CLSID\\{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}\\InprocServer32";

struct RegistryValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue& other) const {
        return name == other.name && type == other.type && data == other.data;
    }
};

inline std::vector<BYTE> TextBytes(const std::wstring& text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

inline std::vector<BYTE> NumberBytes(DWORD value) {
    std::vector<BYTE> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

inline RegistryValue Text(const wchar_t* name, const std::wstring& text) {
    return {name, REG_SZ, TextBytes(text)};
}

inline RegistryValue Number(const wchar_t* name, DWORD value) {
    return {name, REG_DWORD, NumberBytes(value)};
}

class OpenKey {
public:
    OpenKey(HKEY root, const wchar_t* path, REGSAM access = KEY_READ | KEY_WOW64_64KEY) {
        opened = RegOpenKeyExW(root, path, 0, access, &key);
    }
    ~OpenKey() {
        if (opened == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    bool Exists() const { return opened == ERROR_SUCCESS; }
    HKEY Get() const { return key; }

private:
    HKEY key = nullptr;
    LSTATUS opened;
};

inline bool KeyExists(HKEY root, const wchar_t* path) {
    return OpenKey(root, path).Exists();
}

// Sorted by name: the order the registry enumerates values in is its own.
inline std::vector<RegistryValue> Sorted(std::vector<RegistryValue> values) {
    std::sort(values.begin(), values.end(),
              [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
    return values;
}

inline std::vector<RegistryValue> ValuesOf(HKEY root, const wchar_t* path) {
    std::vector<RegistryValue> values;
    OpenKey key(root, path);
    for (DWORD index = 0; key.Exists(); ++index) {
        wchar_t name[512];
        DWORD nameLength = 512;
        BYTE data[4096];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        values.push_back(
            {std::wstring(name, nameLength), type, std::vector<BYTE>(data, data + dataSize)});
    }
    return Sorted(values);
}

inline std::vector<std::wstring> SubkeysOf(HKEY root, const wchar_t* path) {
    std::vector<std::wstring> names;
    OpenKey key(root, path);
    for (DWORD index = 0; key.Exists(); ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, nameLength);
    }
    return names;
}

inline std::vector<RegistryValue> ExpectedEngineEntry(const std::wstring& copyright) {
    return Sorted({Text(L"FriendlyName", L"KovraAPO"), Text(L"Copyright", copyright),
                   Number(L"MajorVersion", 1), Number(L"MinorVersion", 0), Number(L"Flags", 12),
                   Number(L"MinInputConnections", 1), Number(L"MaxInputConnections", 1),
                   Number(L"MinOutputConnections", 1), Number(L"MaxOutputConnections", 1),
                   Number(L"MaxInstances", 3), Number(L"NumAPOInterfaces", 1),
                   Text(L"APOInterface0", L"{FD7F2B29-24D0-4B5C-B177-592C39F9CA10}")});
}

inline std::vector<RegistryValue> ExpectedClassKey() {
    return {Text(L"", L"KovraAPO")};
}

inline std::vector<RegistryValue> ExpectedServerKey(const std::wstring& modulePath) {
    return Sorted({Text(L"", modulePath), Text(L"ThreadingModel", L"Both")});
}

// Whatever a test or an earlier run left, subkeys included.
inline void RemoveEverythingRegistered() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kEngineEntryKey);
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, kEngineEntryKey, 0, 0);
    OpenKey classes(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID",
                    KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    if (classes.Exists()) {
        RegDeleteTreeW(classes.Get(), kClsidText);
        RegDeleteKeyExW(classes.Get(), kClsidText, KEY_WOW64_64KEY, 0);
    }
}

} // namespace servertest
