// The module's COM entry points for class objects and unloading.
#include "classfactory.h"

#include "kovraapo.h"
#include "kovraids.h"
#include "modulestate.h"
#include "serverexports.h"

#include <new>

STDAPI DllCanUnloadNow() {
    // A snapshot: the counts may move the moment after they were read.
    const bool inUse = objectCount.load(std::memory_order_relaxed) != 0 ||
                       lockCount.load(std::memory_order_relaxed) != 0;
    return inUse ? S_FALSE : S_OK;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_KovraAPO)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    ClassFactory* factory = new (std::nothrow) ClassFactory();
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    // The caller ends up holding the only reference, or none when the interface is refused.
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}
