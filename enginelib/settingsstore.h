// The process-wide settings that new engine instances copy: the built-in defaults until a
// configuration file is read, and the outcome of the last reading. Guarded by a mutex, which
// only Kovra_initialize and Kovra_create take; no real-time call touches this.
#ifndef KOVRA_SETTINGSSTORE_H
#define KOVRA_SETTINGSSTORE_H

#include "enginesettings.h"

#include <string>

namespace kovra {

EngineSettings CurrentSettings();
void InstallSettings(const EngineSettings& settings, const std::string& message);
// What the last Kovra_initialize had to say: empty after a clean reading.
std::string LastInitializeMessage();

} // namespace kovra

#endif
