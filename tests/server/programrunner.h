// Runs a Windows program of the test prefix (regsvr32) and finds the DLLs built beside the tests.
#pragma once

#include "../support/programrun.h"

#include <string>

namespace servertest {

// The program's exit code, or ~0u when it could not be started.
inline DWORD RunProgram(const std::wstring& commandLine) {
    return testsupport::RunProgram(commandLine).exitCode;
}

using testsupport::BesideTestProgram;

inline std::wstring EffectModulePath() {
    return BesideTestProgram(L"KovraAPO.dll");
}

// regsvr32 silently, registering or (with "/u") unregistering the built effect module.
inline DWORD Regsvr32(const wchar_t* options) {
    return RunProgram(L"regsvr32.exe " + std::wstring(options) + L" \"" + EffectModulePath() +
                      L"\"");
}

} // namespace servertest
