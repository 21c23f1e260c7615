// Runs the built kovractl.exe as its own process, as a user does, and keeps what it printed; and
// registers the built KovraAPO.dll in the test prefix, as regsvr32 does on Windows.
#pragma once

#include "../support/programrun.h"

#include <string>

namespace ctltest {

using testsupport::BesideTestProgram;
using testsupport::ProgramRun;
using testsupport::RunProgram;

inline ProgramRun RunKovractl(const std::wstring& arguments) {
    return RunProgram(L"\"" + BesideTestProgram(L"kovractl.exe") + L"\" " + arguments);
}

// `options` "/s" registers, "/s /u" unregisters; the exit code.
inline DWORD Regsvr32(const wchar_t* options) {
    return RunProgram(L"regsvr32.exe " + std::wstring(options) + L" \"" +
                      BesideTestProgram(L"KovraAPO.dll") + L"\"")
        .exitCode;
}

} // namespace ctltest
