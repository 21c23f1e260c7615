#include "commontestsupport.h"

#include <atomic>
#include <vector>

namespace {

constexpr wchar_t switchSubkey[] = L"SOFTWARE\\KovraAPO";
constexpr wchar_t switchValueName[] = L"EnableTrace";

std::wstring UniqueName(const wchar_t* prefix) {
    static std::atomic<unsigned> counter{0};
    return prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

void DeleteFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteFolderTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    path = base + UniqueName(L"kovra-common-test-");
    CreateDirectoryW(path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    DeleteFolderTree(path);
}

EnvironmentOverride::EnvironmentOverride(const wchar_t* name, const std::wstring& value)
    : name(name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size > 0) {
        std::vector<wchar_t> buffer(size);
        GetEnvironmentVariableW(name, buffer.data(), size);
        previousValue = buffer.data();
        hadValue = true;
    }
    SetEnvironmentVariableW(name, value.c_str());
}

EnvironmentOverride::~EnvironmentOverride() {
    SetEnvironmentVariableW(name.c_str(), hadValue ? previousValue.c_str() : nullptr);
}

ScratchRegistryKey::ScratchRegistryKey() : subkey(L"Software\\" + UniqueName(L"KovraCommonTest-")) {
    RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
}

ScratchRegistryKey::~ScratchRegistryKey() {
    if (key != nullptr) {
        RegCloseKey(key);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, subkey.c_str());
}

void ScratchRegistryKey::SetValue(const wchar_t* name, DWORD type, const void* data,
                                  DWORD sizeInBytes) const {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), sizeInBytes);
}

TraceSwitchScope::TraceSwitchScope() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return;
    }
    keyExisted = true;
    DWORD size = 0;
    if (RegQueryValueExW(key, switchValueName, nullptr, &valueType, nullptr, &size) ==
        ERROR_SUCCESS) {
        valueData.resize(size);
        valueExisted =
            RegQueryValueExW(key, switchValueName, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&valueData[0]), &size) == ERROR_SUCCESS;
        valueData.resize(size);
    }
    RegCloseKey(key);
}

TraceSwitchScope::~TraceSwitchScope() {
    if (!keyExisted) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, switchSubkey);
        return;
    }
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, 0, nullptr, 0,
                    KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (valueExisted) {
        RegSetValueExW(key, switchValueName, 0, valueType,
                       reinterpret_cast<const BYTE*>(valueData.data()),
                       static_cast<DWORD>(valueData.size()));
    } else {
        RegDeleteValueW(key, switchValueName);
    }
    RegCloseKey(key);
}

void TraceSwitchScope::Set(const TraceSwitchState& state) const {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, switchSubkey);
    if (state.kind == TraceSwitchKind::MissingKey) {
        return;
    }
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, 0, nullptr, 0,
                    KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (state.kind == TraceSwitchKind::String) {
        RegSetValueExW(key, switchValueName, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(state.text.c_str()),
                       static_cast<DWORD>((state.text.size() + 1) * sizeof(wchar_t)));
    } else if (state.kind == TraceSwitchKind::Dword) {
        const DWORD zero = 0;
        RegSetValueExW(key, switchValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                       sizeof(zero));
    }
    RegCloseKey(key);
}

LogProbe::LogProbe() : module(LoadLibraryW(logProbeModuleName)) {
    if (module == nullptr) {
        return;
    }
    const auto getLogMessage = reinterpret_cast<GetLogMessageFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, getLogMessageExport)));
    failAllocations = reinterpret_cast<FailAllocationsFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, failAllocationsExport)));
    if (getLogMessage != nullptr && failAllocations != nullptr) {
        logMessage = getLogMessage();
    }
}

LogProbe::~LogProbe() {
    Unload();
}

bool LogProbe::Unload() {
    if (module != nullptr) {
        FreeLibrary(module);
        module = nullptr;
        logMessage = nullptr;
    }
    return GetModuleHandleW(logProbeModuleName) == nullptr;
}
