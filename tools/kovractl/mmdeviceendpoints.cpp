#include "mmdeviceendpoints.h"

#include <objbase.h>

#include <memory>

namespace {

// PKEY_Device_FriendlyName, which mingw declares but its libraries do not define.
constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

struct CoTaskMemDeleter {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

HRESULT IdOf(IMMDevice* device, std::wstring& id) {
    LPWSTR allocated = nullptr;
    const HRESULT result = device->GetId(&allocated);
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> owned(allocated);
    if (SUCCEEDED(result) && owned) {
        id = owned.get();
    }
    return owned || FAILED(result) ? result : E_POINTER;
}

// An endpoint without a readable name is still listed, by its id alone.
std::wstring FriendlyNameOf(IMMDevice* device) {
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.Receive())) || !store) {
        return L"";
    }
    PROPVARIANT name;
    PropVariantInit(&name);
    std::wstring text;
    if (SUCCEEDED(store->GetValue(kFriendlyNameKey, &name)) && name.vt == VT_LPWSTR &&
        name.pwszVal) {
        text = name.pwszVal;
    }
    PropVariantClear(&name);
    return text;
}

HRESULT DescribeDevice(IMMDevice* device, EndpointInfo& endpoint) {
    HRESULT result = IdOf(device, endpoint.id);
    if (SUCCEEDED(result)) {
        result = device->GetState(&endpoint.state);
    }
    endpoint.friendlyName = FriendlyNameOf(device);
    return result;
}

} // namespace

HRESULT MMDeviceEndpoints::EnsureEnumerator() {
    if (enumerator) {
        return S_OK;
    }
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                            __uuidof(IMMDeviceEnumerator),
                            reinterpret_cast<void**>(enumerator.Receive()));
}

HRESULT MMDeviceEndpoints::ListRenderEndpoints(std::vector<EndpointInfo>& endpoints) {
    endpoints.clear();
    ComPtr<IMMDeviceCollection> collection;
    HRESULT result = EnsureEnumerator();
    if (SUCCEEDED(result)) {
        result =
            enumerator->EnumAudioEndpoints(eRender, DEVICE_STATEMASK_ALL, collection.Receive());
    }
    UINT count = 0;
    if (SUCCEEDED(result)) {
        result = collection->GetCount(&count);
    }
    for (UINT index = 0; SUCCEEDED(result) && index < count; ++index) {
        ComPtr<IMMDevice> device;
        result = collection->Item(index, device.Receive());
        EndpointInfo endpoint;
        if (SUCCEEDED(result)) {
            result = DescribeDevice(device.Get(), endpoint);
        }
        if (SUCCEEDED(result)) {
            endpoints.push_back(std::move(endpoint));
        }
    }
    return result;
}

HRESULT MMDeviceEndpoints::DefaultRenderEndpoint(std::wstring& id) {
    ComPtr<IMMDevice> device;
    HRESULT result = EnsureEnumerator();
    if (SUCCEEDED(result)) {
        result = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive());
    }
    return SUCCEEDED(result) ? IdOf(device.Get(), id) : result;
}

HRESULT MMDeviceEndpoints::OpenPropertyStore(const std::wstring& id, DWORD access,
                                             ComPtr<IPropertyStore>& store) {
    ComPtr<IMMDevice> device;
    HRESULT result = EnsureEnumerator();
    if (SUCCEEDED(result)) {
        result = enumerator->GetDevice(id.c_str(), device.Receive());
    }
    return SUCCEEDED(result) ? device->OpenPropertyStore(access, store.Receive()) : result;
}
