#include "memorypropertystore.h"

#include <cstring>
#include <new>

namespace {

bool SameKey(const PROPERTYKEY& left, const PROPERTYKEY& right) {
    return IsEqualGUID(left.fmtid, right.fmtid) && left.pid == right.pid;
}

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock(lock) { AcquireSRWLockExclusive(&lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock;
};

} // namespace

MemoryPropertyStore* MemoryPropertyStore::Create() {
    return new (std::nothrow) MemoryPropertyStore();
}

MemoryPropertyStore::MemoryPropertyStore() = default;

MemoryPropertyStore::~MemoryPropertyStore() {
    for (Entry& entry : entries) {
        PropVariantClear(&entry.value);
    }
}

MemoryPropertyStore::Entry* MemoryPropertyStore::Find(const PROPERTYKEY& key) {
    for (Entry& entry : entries) {
        if (SameKey(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyStore)) {
        *object = static_cast<IPropertyStore*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE MemoryPropertyStore::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE MemoryPropertyStore::Release() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::GetCount(DWORD* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    ExclusiveLock guard(lock);
    *count = static_cast<DWORD>(entries.size());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::GetAt(DWORD index, PROPERTYKEY* key) {
    if (key == nullptr) {
        return E_POINTER;
    }
    ExclusiveLock guard(lock);
    if (index >= entries.size()) {
        return E_INVALIDARG;
    }
    *key = entries[index].key;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    PropVariantInit(value);
    ExclusiveLock guard(lock);
    const Entry* entry = Find(key);
    return entry == nullptr ? S_OK : PropVariantCopy(value, &entry->value);
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
    PROPVARIANT copy;
    PropVariantInit(&copy);
    const HRESULT copied = PropVariantCopy(&copy, &value);
    if (FAILED(copied)) {
        return copied;
    }
    ExclusiveLock guard(lock);
    if (Entry* entry = Find(key)) {
        PropVariantClear(&entry->value);
        entry->value = copy;
        return S_OK;
    }
    try {
        entries.push_back(Entry{key, copy});
    } catch (const std::bad_alloc&) {
        PropVariantClear(&copy);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryPropertyStore::Commit() {
    return S_OK;
}

HRESULT MemoryPropertyStore::SetUInt32(const PROPERTYKEY& key, ULONG value) {
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_UI4;
    variant.ulVal = value;
    return SetValue(key, variant);
}
