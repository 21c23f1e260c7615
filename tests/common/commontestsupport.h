// Scoped set-ups for the diagnostics tests: a temporary folder of the test's own, environment
// overrides, registry keys that are removed again, and the log probe DLL.
#pragma once

#include "logprobe.h"

#include <windows.h>

#include <string>

std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);

// A fresh, empty folder under the process's temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path; }

private:
    std::wstring path;
};

// Sets an environment variable of this process and restores it when destroyed.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::wstring& value);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::wstring name;
    std::wstring previousValue;
    bool hadValue = false;
};

// A key of the test's own under HKEY_CURRENT_USER, deleted with everything under it.
class ScratchRegistryKey {
public:
    ScratchRegistryKey();
    ~ScratchRegistryKey();
    ScratchRegistryKey(const ScratchRegistryKey&) = delete;
    ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;

    // The full key path as the reader takes it, "HKEY_CURRENT_USER\Software\...".
    std::wstring FullPath() const { return L"HKEY_CURRENT_USER\\" + subkey; }
    void SetValue(const wchar_t* name, DWORD type, const void* data, DWORD sizeInBytes) const;

private:
    std::wstring subkey;
    HKEY key = nullptr;
};

// The states of the switch "EnableTrace" under HKEY_LOCAL_MACHINE\SOFTWARE\KovraAPO.
enum class TraceSwitchKind { MissingKey, MissingValue, String, Dword };

struct TraceSwitchState {
    TraceSwitchKind kind;
    std::wstring text; // for String
};

// Sets the switch for one test and puts the key back as it was found.
class TraceSwitchScope {
public:
    TraceSwitchScope();
    ~TraceSwitchScope();
    TraceSwitchScope(const TraceSwitchScope&) = delete;
    TraceSwitchScope& operator=(const TraceSwitchScope&) = delete;

    void Set(const TraceSwitchState& state) const;

private:
    bool keyExisted = false;
    bool valueExisted = false;
    DWORD valueType = REG_NONE;
    std::string valueData;
};

// One load of the log probe DLL: a module with a fresh, not yet set-up trace log.
class LogProbe {
public:
    LogProbe();
    ~LogProbe();
    LogProbe(const LogProbe&) = delete;
    LogProbe& operator=(const LogProbe&) = delete;

    bool IsLoaded() const { return logMessage != nullptr; }
    LogMessageFunction Log() const { return logMessage; }
    void FailAllocations(bool fail) const { failAllocations(fail); }
    // Unloads the module; true when it is really gone from the process.
    bool Unload();

private:
    HMODULE module = nullptr;
    LogMessageFunction logMessage = nullptr;
    FailAllocationsFunction failAllocations = nullptr;
};
