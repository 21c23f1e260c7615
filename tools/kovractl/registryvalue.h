// Registry values as kovractl handles them: a value kept as its type and raw bytes, so what
// is saved can be put back exactly as it was.
#pragma once

#include "registrykey.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RawValue& other) const {
        return type == other.type && data == other.data;
    }
    bool operator!=(const RawValue& other) const { return !(*this == other); }
};

// ERROR_SUCCESS with `value` empty when the value does not exist.
LSTATUS ReadRawValue(HKEY key, const wchar_t* name, std::optional<RawValue>& value);

// Registry value names compare without regard to case, as the registry compares them.
struct NoCaseLess {
    bool operator()(const std::wstring& first, const std::wstring& second) const {
        return _wcsicmp(first.c_str(), second.c_str()) < 0;
    }
};
using NamedValues = std::map<std::wstring, RawValue, NoCaseLess>;

// Every value of the key, by name.
LSTATUS ReadAllValues(HKEY key, NamedValues& values);
// The value named `name`, or nothing.
std::optional<RawValue> FindValue(const NamedValues& values, const std::wstring& name);

// The names of the subkeys of HKLM\`path` (64-bit view); none when the key does not exist.
LSTATUS ReadSubkeyNames(const wchar_t* path, std::vector<std::wstring>& names);

// A REG_SZ value holding `text` with its terminator, as the platform's own tools write it.
RawValue TextValue(const std::wstring& text);
// A REG_DWORD value.
RawValue DwordValue(DWORD number);
// A REG_MULTI_SZ value holding `texts`, each with its terminator, and the closing empty string.
RawValue TextListValue(const std::vector<std::wstring>& texts);

// The strings a value holds: one for REG_SZ and REG_EXPAND_SZ, each for REG_MULTI_SZ, none for
// other types. Data without a terminator is read up to its end.
std::vector<std::wstring> TextsOf(const RawValue& value);

// For people: the strings, the number of a REG_DWORD, or the type and size of other values.
std::wstring DescribeRawValue(const RawValue& value);
