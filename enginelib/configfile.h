// Loads a configuration file into settings, deciding what Kovra_initialize answers.
#ifndef KOVRA_CONFIGFILE_H
#define KOVRA_CONFIGFILE_H

#include "enginesettings.h"
#include "kovraengine.h"

#include <string>

namespace kovra {

struct LoadOutcome {
    KovraResult result = KovraResult_kOk;
    std::string message; // the refusal's reason, or a good file's notes; else empty
    EngineSettings settings = BuiltInSettings(); // the built-in defaults unless the file was good
};

// A configuration file larger than this is refused rather than read into memory.
constexpr long kMaxConfigurationFileBytes = 1L << 20;

// KovraResult_kOk for a good file (message: the parser's notes, if any, after the file's name);
// KovraResult_kErrorNotAvailable when it cannot be opened or read; KovraResult_kFailed when its
// content is refused (message "line N: ...") or it is too large; KovraResult_kErrorParameter
// for a null path.
LoadOutcome LoadConfigurationFile(const char* path);

} // namespace kovra

#endif
