// Initialize and the endpoint notifications. Placeholder until the endpoint-settings work lands:
// Initialize only marks the object initialised.
#include "kovraapo.h"

HRESULT STDMETHODCALLTYPE KovraAPO::Initialize(UINT32, BYTE*) {
    MarkInitialized();
    UpdateFilterMode();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KovraAPO::OnDeviceStateChanged(LPCWSTR, DWORD) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE KovraAPO::OnDeviceAdded(LPCWSTR) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE KovraAPO::OnDeviceRemoved(LPCWSTR) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE KovraAPO::OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE KovraAPO::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) {
    return S_OK;
}
