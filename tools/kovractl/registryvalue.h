// Registry values as kovractl handles them: a value kept as its type and raw bytes, so what
// is saved can be put back exactly as it was.
#pragma once

#include "registrykey.h"

#include <windows.h>

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
};

// ERROR_SUCCESS with `value` empty when the value does not exist.
LSTATUS ReadRawValue(HKEY key, const wchar_t* name, std::optional<RawValue>& value);

// A REG_SZ value holding `text` with its terminator, as the platform's own tools write it.
RawValue TextValue(const std::wstring& text);

// The strings a value holds: one for REG_SZ and REG_EXPAND_SZ, each for REG_MULTI_SZ, none for
// other types. Data without a terminator is read up to its end.
std::vector<std::wstring> TextsOf(const RawValue& value);

// For people: the strings, or the type and size of a value that holds none.
std::wstring DescribeRawValue(const RawValue& value);
