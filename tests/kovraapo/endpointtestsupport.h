// What the endpoint-settings tests share: a COM apartment, the platform's in-memory property
// store standing in for an endpoint's, a store that can be made to fail its reads, and a
// device enumerator that wraps the platform's so tests can count and refuse registrations.
#pragma once

#include "effecttestsupport.h"
#include "kovraids.h"

#include <propsys.h>

#include <atomic>
#include <functional>

namespace effecttest {

// COM for the test's thread, for as long as the holder lives. Declare it before the objects
// that need COM, so it is left after they are gone.
struct ComApartment {
    ComApartment() { result = CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComApartment() {
        if (SUCCEEDED(result)) {
            CoUninitialize();
        }
    }
    HRESULT result;
};

// An endpoint property store of the platform's own kind, in memory.
class EndpointStore {
public:
    EndpointStore();
    ~EndpointStore();
    EndpointStore(const EndpointStore&) = delete;
    EndpointStore& operator=(const EndpointStore&) = delete;

    void SetUInt32(const PROPERTYKEY& key, UINT32 value);
    void SetValue(const PROPERTYKEY& key, const PROPVARIANT& value);
    IPropertyStore* Get() const { return store; }
    ULONG References() const;

private:
    IPropertyStore* store = nullptr;
};

// Forwards to another store, counting reads, and fails the reads of one key when asked. A
// test's step can run after the next read, before the value is handed back.
class FaultyStore : public IPropertyStore {
public:
    explicit FaultyStore(IPropertyStore* inner) : inner(inner) {}
    // Lives on a test's stack: whoever took a reference must have given it back by now.
    virtual ~FaultyStore() { EXPECT_EQ(references.load(), 1u) << "the store is still held"; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; } // owned by the test
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override { return inner->GetCount(count); }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
        return inner->GetAt(index, key);
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
        return inner->SetValue(key, value);
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return inner->Commit(); }

    void FailReadsOf(const PROPERTYKEY& key, HRESULT failure) {
        failingKey = key;
        readFailure = failure;
    }

    IPropertyStore* inner;
    std::function<void()> afterNextRead;
    PROPERTYKEY failingKey{};
    HRESULT readFailure = S_OK;
    std::atomic<int> reads{0};
    std::atomic<ULONG> references{1};
};

// What the test enumerators saw, and the failures they are to produce.
struct EnumeratorProbe {
    HRESULT createFailure = S_OK;
    bool createNothing = false; // report success without an enumerator
    HRESULT registerFailure = S_OK;
    int created = 0;
    int registrations = 0; // successful ones
    std::atomic<int> unregistrations{0};
    IMMNotificationClient* registeredClient = nullptr;
    IMMNotificationClient* unregisteredClient = nullptr;
    std::atomic<int> live{0};
    // Whether Unregister lets a notification under way finish first, as the platform's does.
    bool unregisterWaits = true;
    std::atomic<int> notificationsUnderWay{0};

    // A property change reported to the registered client, as the platform's thread does.
    HRESULT Notify(const PROPERTYKEY& key);
};

// While it lives, Initialize gets its device enumerators through the probe: each is the
// platform's own, wrapped so that registrations are counted or refused.
class EnumeratorProbeScope {
public:
    EnumeratorProbeScope();
    ~EnumeratorProbeScope();
    EnumeratorProbeScope(const EnumeratorProbeScope&) = delete;
    EnumeratorProbeScope& operator=(const EnumeratorProbeScope&) = delete;
    EnumeratorProbe* operator->() const;
};

// An APOInitSystemEffects record for `store`, as the audio engine builds it.
APOInitSystemEffects InitRecord(IPropertyStore* store);

inline HRESULT InitializeWith(KovraAPO* effect, IPropertyStore* store) {
    APOInitSystemEffects record = InitRecord(store);
    return effect->Initialize(sizeof record, reinterpret_cast<BYTE*>(&record));
}

} // namespace effecttest
