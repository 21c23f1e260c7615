// The render endpoints as the platform's device enumerator reports them.
#pragma once

#include "endpointsource.h"

#include <mmdeviceapi.h>

// The enumerator is created at the first call, on a thread where COM is initialised.
class MMDeviceEndpoints : public EndpointSource {
public:
    HRESULT ListRenderEndpoints(std::vector<EndpointInfo>& endpoints) override;
    HRESULT DefaultRenderEndpoint(std::wstring& id) override;
    HRESULT OpenPropertyStore(const std::wstring& id, DWORD access,
                              ComPtr<IPropertyStore>& store) override;

private:
    HRESULT EnsureEnumerator();

    ComPtr<IMMDeviceEnumerator> enumerator;
};
