#include "registryvalue.h"

#include <cstring>

LSTATUS ReadRawValue(HKEY key, const wchar_t* name, std::optional<RawValue>& value) {
    value.reset();
    RawValue read;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &read.type, nullptr, &size);
    // The value may grow between the two calls; ask again until it fits.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        read.data.resize(size);
        status = RegQueryValueExW(key, name, nullptr, &read.type, read.data.data(), &size);
        if (status == ERROR_SUCCESS) {
            read.data.resize(size);
            value = std::move(read);
            return ERROR_SUCCESS;
        }
    }
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS ReadAllValues(HKEY key, NamedValues& values) {
    values.clear();
    DWORD count = 0;
    DWORD longestName = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &count, &longestName, nullptr, nullptr, nullptr);
    for (DWORD index = 0; status == ERROR_SUCCESS && index < count; ++index) {
        std::wstring name(longestName + 1, L'\0');
        DWORD length = longestName + 1;
        status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        name.resize(length);
        std::optional<RawValue> value;
        if (status == ERROR_SUCCESS) {
            status = ReadRawValue(key, name.c_str(), value);
        }
        if (status == ERROR_SUCCESS && value) {
            values[name] = std::move(*value);
        }
    }
    return status;
}

std::optional<RawValue> FindValue(const NamedValues& values, const std::wstring& name) {
    const auto found = values.find(name);
    return found == values.end() ? std::nullopt : std::optional(found->second);
}

LSTATUS ReadSubkeyNames(const wchar_t* path, std::vector<std::wstring>& names) {
    names.clear();
    RegistryKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0,
                                   KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, key.Receive());
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        status = RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        }
    }
    return status == ERROR_NO_MORE_ITEMS || status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

RawValue TextValue(const std::wstring& text) {
    RawValue value;
    value.type = REG_SZ;
    value.data.resize((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(value.data.data(), text.c_str(), value.data.size());
    return value;
}

RawValue DwordValue(DWORD number) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    return {REG_DWORD, {bytes, bytes + sizeof number}};
}

RawValue TextListValue(const std::vector<std::wstring>& texts) {
    std::wstring characters;
    for (const std::wstring& text : texts) {
        characters += text;
        characters += L'\0';
    }
    characters += L'\0';
    RawValue value;
    value.type = REG_MULTI_SZ;
    value.data.resize(characters.size() * sizeof(wchar_t));
    std::memcpy(value.data.data(), characters.data(), value.data.size());
    return value;
}

std::vector<std::wstring> TextsOf(const RawValue& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) {
        return {};
    }
    std::wstring characters(value.data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(characters.data(), value.data.data(), characters.size() * sizeof(wchar_t));
    std::vector<std::wstring> texts;
    size_t start = 0;
    while (start < characters.size()) {
        size_t end = characters.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = characters.size();
        }
        if (end == start && value.type == REG_MULTI_SZ) {
            break; // the list's closing empty string
        }
        texts.push_back(characters.substr(start, end - start));
        if (value.type != REG_MULTI_SZ) {
            break;
        }
        start = end + 1;
    }
    return texts;
}

std::wstring DescribeRawValue(const RawValue& value) {
    if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, value.data.data(), sizeof number);
        return std::to_wstring(number);
    }
    const std::vector<std::wstring> texts = TextsOf(value);
    if (texts.empty()) {
        return L"(registry type " + std::to_wstring(value.type) + L", " +
               std::to_wstring(value.data.size()) + L" bytes)";
    }
    std::wstring joined;
    for (const std::wstring& text : texts) {
        joined += (joined.empty() ? L"" : L", ") + text;
    }
    return joined;
}
