// The render endpoints as the platform's device enumerator reports them.
#pragma once

#include "endpointsource.h"

#include <mmdeviceapi.h>

class MMDeviceEndpoints : public EndpointSource {
public:
    // Needs COM initialised on the calling thread.
    HRESULT Create();

    HRESULT ListRenderEndpoints(std::vector<EndpointInfo>& endpoints) override;
    HRESULT DefaultRenderEndpoint(std::wstring& id) override;
    HRESULT OpenPropertyStore(const std::wstring& id, DWORD access,
                              ComPtr<IPropertyStore>& store) override;

private:
    ComPtr<IMMDeviceEnumerator> enumerator;
};
