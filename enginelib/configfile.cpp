#include "configfile.h"

#include "configparser.h"

#include <cstdio>
#include <memory>

namespace kovra {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

LoadOutcome Refusal(KovraResult result, std::string message) {
    LoadOutcome outcome;
    outcome.result = result;
    outcome.message = std::move(message);
    return outcome;
}

// Reads the whole file; false when it is unreadable or larger than the limit (tooLarge set).
bool ReadAll(std::FILE* file, std::string& text, bool& tooLarge) {
    char chunk[4096];
    tooLarge = false;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        text.append(chunk, got);
        if (text.size() > static_cast<size_t>(kMaxConfigurationFileBytes)) {
            tooLarge = true;
            return false;
        }
        if (got < sizeof chunk) {
            return std::ferror(file) == 0;
        }
    }
}

} // namespace

LoadOutcome LoadConfigurationFile(const char* path) {
    if (path == nullptr) {
        return Refusal(KovraResult_kErrorParameter, "no configuration file path given");
    }
    const std::string name(path);
    FileHandle file(std::fopen(path, "rb"));
    if (!file) {
        return Refusal(KovraResult_kErrorNotAvailable,
                       "cannot open configuration file '" + name + "'");
    }
    std::string text;
    bool tooLarge = false;
    if (!ReadAll(file.get(), text, tooLarge)) {
        if (tooLarge) {
            return Refusal(KovraResult_kFailed,
                           "configuration file '" + name + "' is larger than " +
                               std::to_string(kMaxConfigurationFileBytes) + " bytes");
        }
        return Refusal(KovraResult_kErrorNotAvailable,
                       "cannot read configuration file '" + name + "'");
    }
    ParseOutcome parsed = ParseConfiguration(text.data(), text.size());
    if (!parsed.ok) {
        return Refusal(KovraResult_kFailed, name + ": " + parsed.message);
    }
    LoadOutcome outcome;
    outcome.settings = parsed.settings;
    if (!parsed.notes.empty()) {
        outcome.message = name + ": " + parsed.notes;
    }
    return outcome;
}

} // namespace kovra
