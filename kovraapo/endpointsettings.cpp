// Initialize and the endpoint notifications: the two endpoint properties are read when the
// audio engine initialises the object and again whenever the platform reports that one of them
// changed. A change that selects another preset is handed to the real-time routine through
// filterMode and reloadPending; nothing here touches the engine instance.
#include "kovraapo.h"

#include "kovraids.h"
#include "loghelper.h"

#include <cstring>

HRESULT CreatePlatformDeviceEnumerator(IMMDeviceEnumerator** enumerator) {
    // mingw's uuid library lacks these two ids; the headers' __uuidof carries them.
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                            __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(enumerator));
}

DeviceEnumeratorFactory createDeviceEnumerator = CreatePlatformDeviceEnumerator;

namespace {

// One property read from the endpoint store. Only a VT_UI4 value counts.
struct EndpointValue {
    HRESULT result;
    bool present;
    UINT32 value;
};

EndpointValue ReadEndpointValue(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT variant;
    std::memset(&variant, 0, sizeof variant);
    EndpointValue read{store->GetValue(key, &variant), false, 0};
    if (SUCCEEDED(read.result) && variant.vt == VT_UI4) {
        read.present = true;
        read.value = variant.ulVal;
    } else {
        // A value of another type may own memory or a reference.
        PropVariantClear(&variant);
    }
    return read;
}

bool IsKey(const PROPERTYKEY& reported, const PROPERTYKEY& expected) {
    return std::memcmp(&reported.fmtid, &expected.fmtid, sizeof reported.fmtid) == 0 &&
           reported.pid == expected.pid;
}

HRESULT CheckInitializeArguments(UINT32 cbDataSize, const BYTE* pbyData) {
    if (!pbyData && cbDataSize != 0) {
        return E_INVALIDARG;
    }
    if (pbyData && cbDataSize == 0) {
        return E_POINTER;
    }
    if (cbDataSize != sizeof(APOInitSystemEffects)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

// The record's endpoint store. The bytes come from the caller with no promise of alignment.
IPropertyStore* EndpointStoreOf(const BYTE* pbyData) {
    IPropertyStore* store = nullptr;
    std::memcpy(&store, pbyData + offsetof(APOInitSystemEffects, pAPOEndpointProperties),
                sizeof store);
    return store;
}

} // namespace

HRESULT STDMETHODCALLTYPE KovraAPO::Initialize(UINT32 cbDataSize, BYTE* pbyData) {
    LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"Initialize");
    LogMessage(__FILE__, __LINE__, PrimaryFace(), true,
               L"Kovra onetime Ambrel initialization status: %s",
               ResultCodeName(engineStartupResult.load()).c_str());

    HRESULT hr = CheckInitializeArguments(cbDataSize, pbyData);
    if (FAILED(hr)) {
        return InitializeFailed(hr);
    }
    {
        std::lock_guard<SettingsLock> guard(settingsLock);
        // The first store handed over stays for the object's life: notifications read from it.
        if (!endpointStore) {
            endpointStore = ComPtr<IPropertyStore>::Share(EndpointStoreOf(pbyData));
        }
        hr = ReadEndpointValues();
    }
    // Outside the settings lock: registering may wait for the platform's notification thread.
    if (!deviceEnumerator) {
        const HRESULT registration = RegisterForEndpointNotifications();
        if (FAILED(registration)) {
            return InitializeFailed(registration);
        }
        hr = S_OK;
    }
    UpdateFilterMode();
    MarkInitialized();
    return hr;
}

HRESULT KovraAPO::InitializeFailed(HRESULT hr) {
    LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"Initialize failed");
    return hr;
}

HRESULT KovraAPO::ReadEndpointValues() {
    enableProperty.store(0);
    modeProperty.store(0);
    if (!endpointStore) {
        return S_OK;
    }
    const EndpointValue enable = ReadEndpointValue(endpointStore.Get(), EnablePropertyKey);
    if (enable.present) {
        enableProperty.store(enable.value != 0 ? 1 : 0);
    }
    const EndpointValue mode = ReadEndpointValue(endpointStore.Get(), ModePropertyKey);
    if (mode.present) {
        modeProperty.store(mode.value != 0 ? 1 : 0);
    }
    // An unreadable value counts as 0; it must not turn a working Initialize into a failure.
    return SUCCEEDED(mode.result) ? mode.result : S_OK;
}

HRESULT KovraAPO::RegisterForEndpointNotifications() {
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = createDeviceEnumerator(enumerator.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    if (!enumerator) {
        return E_POINTER;
    }
    hr = enumerator->RegisterEndpointNotificationCallback(this);
    if (FAILED(hr)) {
        // Not kept, so that another Initialize tries the registration again instead of
        // succeeding without one.
        return hr;
    }
    deviceEnumerator = std::move(enumerator);
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

// Runs on a platform thread while the stream may be running. The device id is not compared:
// whichever endpoint reported the change, the value is read again from this object's own
// store. The preset is always written before the reload flag, so the real-time routine that
// sees the flag also sees the preset it stands for.
HRESULT STDMETHODCALLTYPE KovraAPO::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY key) {
    // Held throughout, so that a lock's preset decision or an Initialize sees this change
    // either whole or not at all, and never overwrites the preset it selects.
    std::lock_guard<SettingsLock> guard(settingsLock);
    if (!endpointStore) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (IsKey(key, EnablePropertyKey)) {
        const EndpointValue enable = ReadEndpointValue(endpointStore.Get(), EnablePropertyKey);
        hr = enable.result;
        if (enable.present) {
            enableProperty.exchange(enable.value);
            if (enable.value != 0 && modeProperty.load() == 0) {
                SelectPreset(0);
            }
        }
    }
    if (IsKey(key, ModePropertyKey)) {
        const EndpointValue mode = ReadEndpointValue(endpointStore.Get(), ModePropertyKey);
        hr = mode.result;
        if (mode.present) {
            modeProperty.exchange(mode.value);
            if (enableProperty.load() == 0) {
                SelectPreset(mode.value != 0 ? 1 : 2);
            }
        }
    }
    return hr;
}

void KovraAPO::SelectPreset(UINT32 preset) {
    filterMode.exchange(preset);
    reloadPending.exchange(1);
}
