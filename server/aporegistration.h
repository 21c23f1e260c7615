// The audio engine's entry for the effect: HKEY_CLASSES_ROOT
// "AudioEngine\AudioProcessingObjects\{CLSID}", holding the registration record's values.
#pragma once

#include "apocontract.h"

inline constexpr wchar_t kAudioEngineObjectsKey[] = L"AudioEngine\\AudioProcessingObjects";

// Replaces the entry of the record's CLSID with the record's values. On a failed value write
// the values already written stay; the caller removes the entry.
HRESULT WriteAPORegistration(const APO_REG_PROPERTIES& properties);

// Removes the entry of a CLSID (not recursively: an entry with subkeys stays).
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is none.
HRESULT DeleteAPORegistration(REFCLSID clsid);
