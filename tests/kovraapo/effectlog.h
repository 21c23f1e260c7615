// The effect's diagnostics log as this test program sees it. The log fixes its folder and its
// trace switch at its first line in a process, so a global test environment points the
// temporary folder at a folder of the program's own and switches trace lines on before any
// test runs; both are put back when the program ends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace effecttest {

struct EffectLogLine {
    std::string object;     // the low 32 bits of the object's address, 8 hex digits
    std::string sourceFile; // as the line names it
    bool isTrace = false;
    std::string message; // without the trace marker and the line end
};

// Where the log ends now; lines written later are read with EffectLogLinesSince.
std::size_t EffectLogEnd();
std::vector<EffectLogLine> EffectLogLinesSince(std::size_t mark);

// The object field a line written for `object` carries.
std::string LogObjectField(const void* object);

} // namespace effecttest
