// The two registry calls through which self-registration writes. They are reached through this
// table so that a test can make a write fail: Wine's registry grants every write to its user, so
// a refusal (access denied, a full registry) cannot be produced there otherwise.
#pragma once

#include <windows.h>

struct RegistryWrites {
    decltype(&RegCreateKeyExW) createKey;
    decltype(&RegSetValueExW) setValue;
};

// The platform's functions, unless a test has put its own in.
extern RegistryWrites registryWrites;
