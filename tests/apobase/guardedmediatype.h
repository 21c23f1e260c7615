// A format image that ends exactly where an inaccessible page begins, so that any read past
// its declared length faults at once instead of passing unnoticed, and a foreign media type
// object that hands such an image out from GetAudioFormat.
#pragma once

#include "apocontract.h"

#include <cstring>

class GuardedImage {
public:
    GuardedImage(const void* image, size_t length) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const size_t page = system.dwPageSize;
        base = static_cast<BYTE*>(
            VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        VirtualProtect(base + page, page, PAGE_NOACCESS, &previous);
        start = base + page - length;
        std::memcpy(start, image, length);
    }
    ~GuardedImage() { VirtualFree(base, 0, MEM_RELEASE); }
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(start); }

private:
    BYTE* base = nullptr;
    BYTE* start = nullptr;
};

// Lives on the test's stack; its reference count is not what is under test.
class GuardedMediaType : public IAudioMediaType {
public:
    GuardedMediaType(const void* image, size_t length) : image(image, length) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType*, DWORD*) override { return E_NOTIMPL; }
    const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override { return image.Format(); }
    HRESULT STDMETHODCALLTYPE GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT*) override {
        return E_NOTIMPL;
    }

private:
    GuardedImage image;
};
