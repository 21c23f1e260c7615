// Registry fixtures for kovractl's tests: render endpoints made in the test prefix's registry
// (Wine's device enumerator lists every endpoint it finds there, as "not present"), their FX
// slots, and reading back every value of a key with its type and bytes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace ctltest {

inline const std::wstring kRenderEndpoints =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render\\";
inline const std::wstring kReplacedEffects = L"SOFTWARE\\KovraAPO\\Replaced\\";
inline constexpr wchar_t kAssociation[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},0";
inline constexpr wchar_t kPreMixSlot[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1";
inline constexpr wchar_t kPostMixSlot[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},2";
inline constexpr wchar_t kStreamSlot[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5";
inline constexpr wchar_t kModeSlot[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},6";
inline constexpr wchar_t kEndpointSlot[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},7";
inline constexpr wchar_t kCompositeStream[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13";
inline constexpr wchar_t kCompositeMode[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},14";
inline constexpr wchar_t kCompositeEndpoint[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},15";
inline constexpr wchar_t kStreamModes[] = L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},5";
inline constexpr wchar_t kDisableSysFx[] = L"{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},5";
inline constexpr wchar_t kDefaultMode[] = L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";
inline constexpr wchar_t kNodeTypeAny[] = L"{00000000-0000-0000-0000-000000000000}";
inline constexpr wchar_t kKovraClsid[] = L"{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}";
inline constexpr wchar_t kFriendlyNameValue[] = L"{a45c254e-df1c-4efd-8020-67d146a850e0},14";

struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const Value& other) const {
        return name == other.name && type == other.type && data == other.data;
    }
};

// `text` with its terminator unless `terminated` is false.
inline Value Text(const std::wstring& name, const std::wstring& text, bool terminated = true,
                  DWORD type = REG_SZ) {
    const size_t characters = text.size() + (terminated ? 1 : 0);
    std::vector<BYTE> data(characters * sizeof(wchar_t));
    std::memcpy(data.data(), text.c_str(), data.size());
    return {name, type, data};
}

// A REG_MULTI_SZ list, each entry with its terminator, and the closing empty string.
inline Value List(const std::wstring& name, const std::vector<std::wstring>& entries) {
    std::wstring characters;
    for (const std::wstring& entry : entries) {
        characters += entry + L'\0';
    }
    return Text(name, characters, true, REG_MULTI_SZ);
}

inline Value Dword(const std::wstring& name, DWORD number) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    return {name, REG_DWORD, {bytes, bytes + sizeof number}};
}

// Readable failures: the value's name, type and bytes.
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << "{" << testing::PrintToString(value.name) << " type " << value.type << ":";
    for (BYTE byte : value.data) {
        *out << " " << static_cast<int>(byte);
    }
    *out << "}";
}

inline bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Sorted by name: the registry's own order is its own business.
inline std::vector<Value> ValuesOf(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE) {
    std::vector<Value> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        values.push_back({std::wstring(name, nameLength), type, {data, data + size}});
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end(),
              [](const Value& a, const Value& b) { return a.name < b.name; });
    return values;
}

inline void WriteValues(const std::wstring& path, const std::vector<Value>& values) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    for (const Value& value : values) {
        // A non-zero sentinel after the data, so the registry cannot count a terminator in.
        std::vector<BYTE> bytes(value.data);
        bytes.resize(value.data.size() + 4, 0xFF);
        RegSetValueExW(key, value.name.c_str(), 0, value.type, bytes.data(),
                       static_cast<DWORD>(value.data.size()));
    }
    RegCloseKey(key);
}

inline void DeleteTree(const std::wstring& path) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
}

// A render endpoint of the test's own; everything under its keys goes with it.
class TestEndpoint {
public:
    explicit TestEndpoint(const wchar_t* guid, const std::wstring& friendlyName = L"")
        : guid(guid) {
        Remove();
        WriteValues(kRenderEndpoints + guid, {});
        if (!friendlyName.empty()) {
            WriteValues(kRenderEndpoints + guid + L"\\Properties",
                        {Text(kFriendlyNameValue, friendlyName)});
        }
    }
    ~TestEndpoint() { Remove(); }
    TestEndpoint(const TestEndpoint&) = delete;
    TestEndpoint& operator=(const TestEndpoint&) = delete;

    const std::wstring guid;
    std::wstring Id() const { return L"{0.0.0.00000000}." + guid; }
    std::wstring FxPath() const { return kRenderEndpoints + guid + L"\\FxProperties"; }
    std::wstring SavedPath() const { return kReplacedEffects + guid; }

private:
    void Remove() const {
        DeleteTree(kRenderEndpoints + guid);
        DeleteTree(kReplacedEffects + guid);
    }
};

} // namespace ctltest
