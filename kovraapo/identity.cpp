// COM identity: six faces on one object, every face's IUnknown delegating to the controlling
// unknown, and the object's own reference count behind the non-delegating face.
#include "kovraapo.h"

HRESULT STDMETHODCALLTYPE KovraAPO::QueryInterface(REFIID riid, void** ppv) {
    return outerUnknown->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE KovraAPO::AddRef() {
    return outerUnknown->AddRef();
}

ULONG STDMETHODCALLTYPE KovraAPO::Release() {
    return outerUnknown->Release();
}

// A null out pointer is refused with E_POINTER rather than written through: callers reach this
// through every face and through the class factory, and none of them may crash the host.
HRESULT STDMETHODCALLTYPE KovraAPO::InnerQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown)) {
        // The non-delegating face is the object's identity; its AddRef is InnerAddRef.
        *ppv = InnerUnknown();
        InnerAddRef();
        return S_OK;
    }
    IUnknown* face = nullptr;
    if (IsEqualIID(riid, IID_IAudioProcessingObject)) {
        face = static_cast<IAudioProcessingObject*>(this);
    } else if (IsEqualIID(riid, IID_IAudioProcessingObjectRT)) {
        face = static_cast<IAudioProcessingObjectRT*>(this);
    } else if (IsEqualIID(riid, IID_IAudioProcessingObjectConfiguration)) {
        face = static_cast<IAudioProcessingObjectConfiguration*>(this);
    } else if (IsEqualIID(riid, IID_IAudioSystemEffects)) {
        face = static_cast<IAudioSystemEffects*>(this);
    } else if (IsEqualIID(riid, __uuidof(IMMNotificationClient))) {
        face = static_cast<IMMNotificationClient*>(this);
    }
    *ppv = face;
    if (!face) {
        return E_NOINTERFACE;
    }
    // Through the face just handed out: aggregated, this raises the aggregator's count.
    face->AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE KovraAPO::InnerAddRef() {
    return static_cast<ULONG>(++referenceCount);
}

// The decrement's own result decides and is returned. Reading the count again afterwards could
// read an object that a concurrent Release on another thread has already destroyed.
ULONG STDMETHODCALLTYPE KovraAPO::InnerRelease() {
    const LONG remaining = --referenceCount;
    if (remaining == 0) {
        delete this;
        // Only now, with the member and base destructors run and the memory freed: once the
        // module's count is down it may be unloaded, and all that follows is this return. COM
        // unloads a module only some time after DllCanUnloadNow said it could.
        --objectCount;
        return 0;
    }
    return static_cast<ULONG>(remaining);
}
