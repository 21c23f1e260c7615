// Whether the audio engine could load KovraAPO on this machine: the engine's entry for the
// effect exists and COM creates the effect's class, which needs KovraAPO.dll where its
// registration points and KovraAPI_SHARED.dll beside it. COM must be started on the thread.
#pragma once

#include <string>

// Empty when the effect can be created; otherwise what is wrong and how to put it right.
std::wstring EffectLoadProblem();

// "C:\Program Files\KovraAPO\1.0\KovraAPO.dll, version 1.0.0.0": the file COM loads the effect
// from, which regsvr32 of another version's folder changes; "not registered" without one.
std::wstring DescribeRegisteredEffect();
