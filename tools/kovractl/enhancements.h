// The endpoint's system effects switch, PKEY_AudioEndpoint_Disable_SysFx: set when the user ticks
// "Disable all enhancements", and by Windows itself once an effect on the endpoint failed to load
// ten times in a row. While it is set, Windows loads no system effect there, the driver's own
// (speaker protection on many laptops) neither. kovractl reads it everywhere and clears it only
// when the user asks (kovractl enable-effects).
#pragma once

#include "endpointsource.h"
#include "registryvalue.h"

// True when the endpoint's property store, or its FxProperties values, hold a non-zero
// PKEY_AudioEndpoint_Disable_SysFx.
bool EnhancementsDisabled(EndpointSource& endpoints, const std::wstring& endpointId,
                          const NamedValues& fxValues);

// Clears the switch: 0 through the endpoint's property store, as the Sound control panel writes
// it, and in FxProperties where it is stored there non-zero. On failure `refused` names the store
// or the key (under HKLM) that refused.
HRESULT SwitchSystemEffectsOn(EndpointSource& endpoints, const std::wstring& endpointId,
                              const std::wstring& endpointGuid, std::wstring& refused);

// The warning that `list`, `install` and `set` print for such an endpoint.
extern const wchar_t kEnhancementsWarning[];
// The note `uninstall` prints when the switch is still set afterwards.
extern const wchar_t kEffectsStillOff[];
