// Runs a Windows program of the test prefix (regsvr32) and finds the DLLs built beside the tests.
#pragma once

#include <windows.h>

#include <string>

namespace servertest {

// The program's exit code, or ~0u when it could not be started.
inline DWORD RunProgram(const std::wstring& commandLine) {
    std::wstring writable = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return ~0u;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = ~0u;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// A file in the folder of the running test program, where the build puts every DLL.
inline std::wstring BesideTestProgram(const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + fileName;
}

inline std::wstring EffectModulePath() {
    return BesideTestProgram(L"KovraAPO.dll");
}

// regsvr32 silently, registering or (with "/u") unregistering the built effect module.
inline DWORD Regsvr32(const wchar_t* options) {
    return RunProgram(L"regsvr32.exe " + std::wstring(options) + L" \"" + EffectModulePath() +
                      L"\"");
}

} // namespace servertest
