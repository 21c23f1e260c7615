// The platform calls through which kovractl changes the machine's registry, and its question
// whether the process runs elevated. They are reached through this table so that a test can make
// them refuse: Wine runs every program elevated and lets it write any key, so neither "not
// elevated" nor "access denied" can be produced there otherwise.
#pragma once

#include <windows.h>

struct ControlPlatform {
    bool (*processIsElevated)();
    decltype(&RegOpenKeyExW) openKey;
    decltype(&RegCreateKeyExW) createKey;
    decltype(&RegSetValueExW) setValue;
    decltype(&RegDeleteValueW) deleteValue;
};

// The platform's functions, unless a test has put its own in.
extern ControlPlatform controlPlatform;
