// Runs the built kovractl.exe as its own process, as a user does, and keeps what it printed.
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

} // namespace ctltest
