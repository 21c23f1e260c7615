// Turning the ENDPOINT argument into one render endpoint: an endpoint id, a piece of a friendly
// name that only one endpoint has, or "default".
#pragma once

#include "endpointsource.h"

#include <string>
#include <vector>

struct EndpointChoice {
    const EndpointInfo* endpoint = nullptr; // null when `error` says why none was chosen
    std::wstring error;
};

// `defaultId` is empty when the machine has no default render endpoint. Ids and names are
// compared without regard to case.
EndpointChoice ChooseEndpoint(const std::wstring& selector,
                              const std::vector<EndpointInfo>& endpoints,
                              const std::wstring& defaultId);

// The endpoint's GUID, braces included, from its id ("{0.0.0.00000000}.{GUID}"): the name of
// its key under the registry's render endpoints. False for an id of another shape.
bool EndpointGuidOf(const std::wstring& id, std::wstring& guid);

// "Speakers (High Definition Audio)", or the id when the endpoint has no name.
std::wstring EndpointTitle(const EndpointInfo& endpoint);
