// The class factory of the module's one creatable class, the effect object. Every
// DllGetClassObject call gets a factory of its own; a factory does not keep the module loaded
// (LockServer does).
#pragma once

#include <unknwn.h>

#include <atomic>

class ClassFactory final : public IClassFactory {
public:
    ClassFactory() = default;
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Aggregation is supported, but an aggregating creator must ask for IID_IUnknown.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    ~ClassFactory() = default; // only the last Release deletes a factory

    std::atomic<LONG> referenceCount{1};
};
