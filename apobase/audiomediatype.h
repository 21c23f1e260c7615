// AudioMediaType: the module's own media type object. It wraps a private copy of one wave
// format (plain WAVEFORMATEX or WAVEFORMATEXTENSIBLE) and is what the effect hands back to the
// audio engine as a supported format during negotiation.
#pragma once

#include "apocontract.h"

#include <atomic>
#include <cstddef>
#include <memory>

// The sub-format GUID derived from a wave format tag, {0000xxxx-0000-0010-8000-00AA00389B71}:
// 1 gives KSDATAFORMAT_SUBTYPE_PCM, 3 KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
constexpr GUID SubFormatFromTag(WORD tag) {
    return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

class AudioMediaType : public IAudioMediaType {
public:
    AudioMediaType();
    AudioMediaType(const AudioMediaType&) = delete;
    AudioMediaType& operator=(const AudioMediaType&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IAudioMediaType
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) override;
    HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType* pIAudioType, DWORD* pdwFlags) override;
    const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override;
    HRESULT STDMETHODCALLTYPE
    GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* pUncompressedAudioFormat) override;

    virtual ~AudioMediaType();

    // Replaces the stored format with a copy of `waveFormat`, which holds `size` bytes. PCM is
    // kept as its 18-byte header alone. E_INVALIDARG leaves the object as it was.
    HRESULT StoreFormat(const WAVEFORMATEX* waveFormat, UINT32 size);
    void SetRateOverride(float exactRate) { rateOverride = exactRate; }

    // Objects alive in this module right now; lets tests prove that every reference handed
    // out is the last one.
    static LONG LiveObjects() { return liveObjects.load(); }

private:
    std::atomic<ULONG> referenceCount{0};
    BOOL isCompressed = FALSE;
    std::unique_ptr<BYTE[]> format;
    float rateOverride = 0.0f;

    static std::atomic<LONG> liveObjects;
};

// Builds a new media type object for `description`, in the plain 18-byte layout when that can
// say everything (at most two channels, no mask, no padding bits, PCM or float) and in the
// extensible 40-byte layout otherwise. The exact frame rate survives the integer wave format.
HRESULT CreateMediaTypeFromUncompressedFormat(const UNCOMPRESSEDAUDIOFORMAT* description,
                                              IAudioMediaType** ppMediaType);

// Builds a new media type object holding a copy of `waveFormat` (`size` bytes; null for an
// object without a format), with `exactRate` reported as its frame rate unless it is 0.0. On
// every failure *ppMediaType is null and nothing is left allocated.
HRESULT CreateMediaTypeFromWaveFormat(const WAVEFORMATEX* waveFormat, UINT32 size, float exactRate,
                                      IAudioMediaType** ppMediaType);

// The tag that decides which rules apply: wFormatTag, or for the extensible layout the tag its
// sub-format is derived from (0 when it is not derived from one). `waveFormat` must hold
// 18 + cbSize bytes.
WORD EffectiveFormatTag(const WAVEFORMATEX* waveFormat);

// Whether the header's numbers agree with each other for PCM and float (channels, container
// size, block alignment, byte rate within 5 %), and whether an extensible layout is complete.
// Other tags are not judged. `waveFormat` must hold 18 + cbSize bytes.
bool ValidateWaveFormat(const WAVEFORMATEX* waveFormat);

// Every allocation of a media type object or of its format copy asks this gate first; a gate
// that answers false makes that allocation fail as if memory had run out. Null restores the
// default, which allows everything. Meant for tests: Wine cannot run out of memory on demand.
using MediaTypeAllocationGate = bool (*)(std::size_t size);
void SetMediaTypeAllocationGate(MediaTypeAllocationGate gate);
