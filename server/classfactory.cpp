// Creation of effect objects, and the server lock.
#include "classfactory.h"

#include "kovraapo.h"
#include "modulestate.h"

#include <new>

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    return static_cast<ULONG>(++referenceCount);
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    // The decrement's own result decides and is returned: reading the count again afterwards
    // could read a factory that another thread's Release has just deleted.
    const LONG remaining = --referenceCount;
    if (remaining == 0) {
        delete this;
    }
    return static_cast<ULONG>(remaining);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                       void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) {
        return E_NOINTERFACE;
    }
    // The construction reference is dropped once the caller's reference exists; when the
    // interface is not answered this destroys the object again.
    KovraAPO* effect = new (std::nothrow) KovraAPO(pUnkOuter, &registrationProperties);
    if (!effect) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = effect->InnerQueryInterface(riid, ppv);
    effect->InnerRelease();
    return result;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        ++lockCount;
    } else {
        --lockCount;
    }
    return S_OK;
}
