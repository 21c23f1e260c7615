// The process-wide settings that new engine instances copy: the built-in defaults until a
// configuration file is read, and what the last reading had to say. Kovra_create reads them on
// the audio thread, so reading takes no lock and never waits: the settings are published in one
// of two copies, and a reader holds the copy it reads. Publishing (Kovra_initialize) takes the
// engine lock, writes the copy not in force once no reader holds it, and switches.
#ifndef KOVRA_SETTINGSSTORE_H
#define KOVRA_SETTINGSSTORE_H

#include "enginesettings.h"

#include <string>

namespace kovra {

struct PublishedSettings;

// The settings in force, held for as long as the object lives. A publication meanwhile only
// makes the constructor look again.
class SettingsReading {
public:
    SettingsReading();
    ~SettingsReading();
    SettingsReading(const SettingsReading&) = delete;
    SettingsReading& operator=(const SettingsReading&) = delete;

    const EngineSettings& settings() const;

private:
    PublishedSettings* held_;
};

void InstallSettings(const EngineSettings& settings, const std::string& message);
// What the last Kovra_initialize had to say: empty after a clean reading.
std::string LastInitializeMessage();

} // namespace kovra

#endif
