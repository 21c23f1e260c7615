// Where kovractl finds the machine's render endpoints and opens their property stores. The
// program uses the platform's device enumerator (mmdeviceendpoints.h); the interface lets a
// test put a refusal in front of it, since under Wine every store opens for writing.
#pragma once

#include "comptr.h"

#include <windows.h>
#include <propsys.h>

#include <string>
#include <vector>

struct EndpointInfo {
    std::wstring id;
    std::wstring friendlyName;
    DWORD state = 0; // DEVICE_STATE_*
};

class EndpointSource {
public:
    virtual ~EndpointSource() = default;
    // Every render endpoint, whatever its state.
    virtual HRESULT ListRenderEndpoints(std::vector<EndpointInfo>& endpoints) = 0;
    // The id of the default render endpoint for the console role; fails when there is none.
    virtual HRESULT DefaultRenderEndpoint(std::wstring& id) = 0;
    // `access` is STGM_READ or STGM_READWRITE.
    virtual HRESULT OpenPropertyStore(const std::wstring& id, DWORD access,
                                      ComPtr<IPropertyStore>& store) = 0;
};
