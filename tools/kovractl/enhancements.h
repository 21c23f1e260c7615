// "Disable all enhancements": with it ticked on an endpoint, Windows loads no system effect
// there, whatever the endpoint's FX values say.
#pragma once

#include "endpointsource.h"
#include "registryvalue.h"

// True when the endpoint's property store, or its FxProperties values, hold a non-zero
// PKEY_AudioEndpoint_Disable_SysFx.
bool EnhancementsDisabled(EndpointSource& endpoints, const std::wstring& endpointId,
                          const NamedValues& fxValues);

// The warning that `list`, `install` and `set` print for such an endpoint.
extern const wchar_t kEnhancementsWarning[];
