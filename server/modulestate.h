// State the module keeps for as long as it is loaded: its own handle, the server lock count and
// the registration record every effect object and the self-registration share. The live-object
// count and the engine's start-up result belong to the effect object (kovraapo.h).
#pragma once

#include "apocontract.h"

#include <atomic>

// The module's instance handle, captured at process attach; null in a program that links the
// server code directly, where the platform then reports the program's own path.
extern HMODULE moduleHandle;

// LockServer's count: moved only by LockServer, and allowed below zero (an unmatched unlock
// keeps the module loaded until a later lock balances it).
extern std::atomic<LONG> lockCount;

// The effect's registration record, filled at load after the engine's one-time initialisation
// and never changed afterwards.
extern const APO_REG_PROPERTIES registrationProperties;
