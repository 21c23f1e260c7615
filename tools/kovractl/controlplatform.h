// The platform calls through which kovractl changes the machine's registry, and its question
// whether the process runs elevated. They are reached through this table so that a test can make
// them refuse: Wine runs every program elevated and lets it write any key, so neither "not
// elevated" nor "access denied" can be produced there otherwise.
#pragma once

#include "registryvalue.h"

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

// Through the table above: exactly the bytes of `value`, with no terminator added.
LSTATUS SetRawValue(HKEY key, const wchar_t* name, const RawValue& value);
// A value that is already gone counts as deleted.
LSTATUS DeleteValueIfPresent(HKEY key, const wchar_t* name);
// Puts a value back to `value`, or removes it when `value` is empty.
LSTATUS RestoreValue(HKEY key, const wchar_t* name, const std::optional<RawValue>& value);
