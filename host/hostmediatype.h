// The host's own media type object: how it offers a stream format to the effect, always in the
// extensible layout, as the audio engine does for its float stream.
#pragma once

#include "apocontract.h"

class HostMediaType : public IAudioMediaType {
public:
    // A new object with one reference for the caller; E_POINTER for a null out pointer.
    static HRESULT Create(const UNCOMPRESSEDAUDIOFORMAT& format, IAudioMediaType** mediaType);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* compressed) override;
    HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType* other, DWORD* flags) override;
    const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override;
    HRESULT STDMETHODCALLTYPE GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* format) override;

private:
    explicit HostMediaType(const UNCOMPRESSEDAUDIOFORMAT& format);
    virtual ~HostMediaType() = default;

    LONG referenceCount = 1;
    UNCOMPRESSEDAUDIOFORMAT description;
    WAVEFORMATEXTENSIBLE waveFormat;
};

// The engine's float stream: 32-bit IEEE float, 4-byte containers, 32 valid bits.
UNCOMPRESSEDAUDIOFORMAT FloatStreamFormat(DWORD channels, DWORD channelMask, float framesPerSecond);

bool IsFloatSubFormat(const GUID& guid);
