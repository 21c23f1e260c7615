// Initialize and the endpoint notifications: the two endpoint properties are read when the
// audio engine initialises the object and again whenever the platform reports that one of them
// changed. A change that selects another preset is handed to the real-time routine through
// filterMode and reloadPending; nothing here touches the engine instance. Nothing here takes a
// lock: the platform's notification callbacks must never wait, and Initialize and the lock
// never wait for them either.
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
    // The first store handed over stays for the object's life: notifications read from it.
    endpointStore.ShareIfEmpty(EndpointStoreOf(pbyData));
    hr = ReadEndpointValues();
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
    IPropertyStore* const store = endpointStore.Get();
    for (;;) {
        const PresetSelection::Seen seen = filterMode.Read();
        UINT32 enable = 0;
        UINT32 mode = 0;
        HRESULT result = S_OK;
        if (store) {
            const EndpointValue enableRead = ReadEndpointValue(store, EnablePropertyKey);
            if (enableRead.present) {
                enable = enableRead.value != 0 ? 1 : 0;
            }
            const EndpointValue modeRead = ReadEndpointValue(store, ModePropertyKey);
            if (modeRead.present) {
                mode = modeRead.value != 0 ? 1 : 0;
            }
            // An unreadable value counts as 0; it must not turn a working Initialize into a
            // failure.
            result = SUCCEEDED(modeRead.result) ? modeRead.result : S_OK;
        }
        enableProperty.store(enable);
        modeProperty.store(mode);
        // A notification since the reads may have stored a newer value, which these stores have
        // just overwritten: read again.
        if (filterMode.NoNotificationSince(seen)) {
            return result;
        }
    }
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
// store. The notification is counted before its value is stored and the preset written after
// it, so a decision that read the values in between decides again; and the preset is always
// written before the reload flag, so the real-time routine that sees the flag also sees the
// preset it stands for.
HRESULT STDMETHODCALLTYPE KovraAPO::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY key) {
    // Counted before `going` is read: the destructor sets `going` before it waits for the count.
    ++notificationsUnderWay;
    const HRESULT hr = going.load() ? S_OK : ApplyPropertyChange(key);
    --notificationsUnderWay;
    return hr;
}

HRESULT KovraAPO::ApplyPropertyChange(const PROPERTYKEY& key) {
    IPropertyStore* const store = endpointStore.Get();
    if (!store) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (IsKey(key, EnablePropertyKey)) {
        const EndpointValue enable = ReadEndpointValue(store, EnablePropertyKey);
        hr = enable.result;
        if (enable.present) {
            filterMode.CountNotification();
            enableProperty.exchange(enable.value);
            if (enable.value != 0 && modeProperty.load() == 0) {
                SelectPreset(0);
            }
        }
    }
    if (IsKey(key, ModePropertyKey)) {
        const EndpointValue mode = ReadEndpointValue(store, ModePropertyKey);
        hr = mode.result;
        if (mode.present) {
            filterMode.CountNotification();
            modeProperty.exchange(mode.value);
            if (enableProperty.load() == 0) {
                SelectPreset(mode.value != 0 ? 1 : 2);
            }
        }
    }
    return hr;
}

void KovraAPO::SelectPreset(UINT32 preset) {
    filterMode.Select(preset);
    reloadPending.exchange(1);
}
