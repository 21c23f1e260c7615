#include "endpointtestsupport.h"

#include <cstring>
#include <thread>

namespace effecttest {

EndpointStore::EndpointStore() {
    const HRESULT hr =
        PSCreateMemoryPropertyStore(IID_IPropertyStore, reinterpret_cast<void**>(&store));
    EXPECT_EQ(hr, S_OK) << "no in-memory property store";
}

EndpointStore::~EndpointStore() {
    if (store) {
        store->Release();
    }
}

void EndpointStore::SetUInt32(const PROPERTYKEY& key, UINT32 value) {
    PROPVARIANT variant;
    std::memset(&variant, 0, sizeof variant);
    variant.vt = VT_UI4;
    variant.ulVal = value;
    SetValue(key, variant);
}

void EndpointStore::SetValue(const PROPERTYKEY& key, const PROPVARIANT& value) {
    ASSERT_EQ(store->SetValue(key, value), S_OK);
}

ULONG EndpointStore::References() const {
    store->AddRef();
    return store->Release();
}

HRESULT STDMETHODCALLTYPE FaultyStore::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyStore)) {
        *ppv = static_cast<IPropertyStore*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE FaultyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    ++reads;
    if (FAILED(readFailure) && std::memcmp(&key, &failingKey, sizeof key) == 0) {
        return readFailure;
    }
    const HRESULT read = inner->GetValue(key, value);
    if (afterNextRead) {
        const std::function<void()> step = std::move(afterNextRead);
        afterNextRead = nullptr;
        step();
    }
    return read;
}

namespace {

EnumeratorProbe* activeProbe = nullptr;

// The platform's enumerator behind a face that counts registrations or refuses them.
class ProbedEnumerator : public IMMDeviceEnumerator {
public:
    ProbedEnumerator(IMMDeviceEnumerator* platform, EnumeratorProbe* probe)
        : platform(platform), probe(probe) {
        ++probe->live;
    }
    virtual ~ProbedEnumerator() {
        platform->Release();
        --probe->live;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(IMMDeviceEnumerator))) {
            *ppv = static_cast<IMMDeviceEnumerator*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override {
        return platform->EnumAudioEndpoints(flow, mask, devices);
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                      IMMDevice** device) override {
        return platform->GetDefaultAudioEndpoint(flow, role, device);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
        return platform->GetDevice(id, device);
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        if (FAILED(probe->registerFailure)) {
            return probe->registerFailure;
        }
        const HRESULT hr = platform->RegisterEndpointNotificationCallback(client);
        if (SUCCEEDED(hr)) {
            ++probe->registrations;
            probe->registeredClient = client;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        probe->unregisteredClient = client;
        ++probe->unregistrations;
        while (probe->unregisterWaits && probe->notificationsUnderWay.load() != 0) {
            std::this_thread::yield();
        }
        return platform->UnregisterEndpointNotificationCallback(client);
    }

private:
    IMMDeviceEnumerator* platform;
    EnumeratorProbe* probe;
    std::atomic<ULONG> references{1};
};

HRESULT CreateProbedEnumerator(IMMDeviceEnumerator** enumerator) {
    *enumerator = nullptr;
    if (FAILED(activeProbe->createFailure)) {
        return activeProbe->createFailure;
    }
    if (activeProbe->createNothing) {
        return S_OK;
    }
    IMMDeviceEnumerator* platform = nullptr;
    const HRESULT hr = CreatePlatformDeviceEnumerator(&platform);
    if (FAILED(hr)) {
        return hr;
    }
    ++activeProbe->created;
    *enumerator = new ProbedEnumerator(platform, activeProbe);
    return S_OK;
}

} // namespace

HRESULT EnumeratorProbe::Notify(const PROPERTYKEY& key) {
    ++notificationsUnderWay;
    const HRESULT hr = registeredClient->OnPropertyValueChanged(L"endpoint", key);
    --notificationsUnderWay;
    return hr;
}

EnumeratorProbeScope::EnumeratorProbeScope() {
    activeProbe = new EnumeratorProbe;
    createDeviceEnumerator = CreateProbedEnumerator;
}

EnumeratorProbeScope::~EnumeratorProbeScope() {
    createDeviceEnumerator = CreatePlatformDeviceEnumerator;
    // An enumerator still held by a leaked effect would point at a freed probe.
    EXPECT_EQ(activeProbe->live.load(), 0) << "a device enumerator was not released";
    if (activeProbe->live.load() == 0) {
        delete activeProbe;
    }
    activeProbe = nullptr;
}

EnumeratorProbe* EnumeratorProbeScope::operator->() const {
    return activeProbe;
}

APOInitSystemEffects InitRecord(IPropertyStore* store) {
    APOInitSystemEffects record{};
    record.APOInit.cbSize = sizeof record;
    record.APOInit.clsid = CLSID_KovraAPO;
    record.pAPOEndpointProperties = store;
    return record;
}

} // namespace effecttest
