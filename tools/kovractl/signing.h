// Whether the audio engine of this machine loads an effect without a release signature. The
// protected audio engine process loads only signed system effects, unless test signing is on (a
// test-signed effect then loads) or DisableProtectedAudioDG is set (any effect then loads). No
// check in kovractl's own process can show what the audio engine's process will load, so this is
// told rather than tested.
#pragma once

#include <string>

// "only signed effects load: ...", "test signing is on: ...", or "DisableProtectedAudioDG is 1:
// ...".
std::wstring DescribeSigning();
// The line install prints: "Signing: " and the above.
std::wstring SigningNote();
