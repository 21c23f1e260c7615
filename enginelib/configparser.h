// Reads the engine configuration text (format: config/kovra.config, which documents itself,
// and the README). A section in the text replaces the built-in definition of the same name;
// sections not in the text keep theirs.
#ifndef KOVRA_CONFIGPARSER_H
#define KOVRA_CONFIGPARSER_H

#include "enginesettings.h"

#include <cstddef>
#include <string>

namespace kovra {

struct ParseOutcome {
    bool ok = false;
    int line = 0;        // 1-based line of the problem; 0 when ok
    std::string message; // "line N: problem", empty when ok
    // What a good text holds that the effect's rates cannot all carry: "line N: ..." for each
    // filter at or above half of 48000 Hz, "; " between them; empty when there is none.
    std::string notes;
    EngineSettings settings;
};

ParseOutcome ParseConfiguration(const char* text, std::size_t length);

} // namespace kovra

#endif
