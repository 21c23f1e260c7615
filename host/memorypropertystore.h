// The endpoint's property store as the host keeps it: in memory, guarded by a lock because the
// effect reads it on the notification thread while the host changes it on its own.
#pragma once

#include <windows.h>
#include <propsys.h>

#include <vector>

class MemoryPropertyStore : public IPropertyStore {
public:
    // A new empty store with one reference for the caller.
    static MemoryPropertyStore* Create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
    // An absent key is not an error: the value comes back empty (VT_EMPTY), as on Windows.
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

    HRESULT SetUInt32(const PROPERTYKEY& key, ULONG value);
    // References held by others than the creator, for the leak check at the end of a run.
    LONG ReferencesBeyondCreator() const { return referenceCount - 1; }

private:
    struct Entry {
        PROPERTYKEY key;
        PROPVARIANT value;
    };

    MemoryPropertyStore();
    virtual ~MemoryPropertyStore();
    Entry* Find(const PROPERTYKEY& key);

    volatile LONG referenceCount = 1;
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<Entry> entries;
};
