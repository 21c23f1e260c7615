#include "audiomediatype.h"

#include <cstring>
#include <new>

static_assert(sizeof(WAVEFORMATEX) == 18, "the plain wave format header is 18 bytes");
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "the extensible layout is 40 bytes");

std::atomic<LONG> AudioMediaType::liveObjects{0};

namespace {

constexpr UINT32 kHeaderSize = sizeof(WAVEFORMATEX);
constexpr UINT32 kExtensibleSize = sizeof(WAVEFORMATEXTENSIBLE);
constexpr WORD kExtensibleExtraSize = kExtensibleSize - kHeaderSize;
constexpr DWORD kAllEqual = AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES | AUDIOMEDIATYPE_EQUAL_FORMAT_DATA |
                            AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA;

std::atomic<MediaTypeAllocationGate> allocationGate{nullptr};

bool AllocationAllowed(std::size_t size) {
    MediaTypeAllocationGate gate = allocationGate.load();
    return !gate || gate(size);
}

// Full length of a wave format image by its own header: PCM never carries extra bytes.
UINT32 FullLength(const WAVEFORMATEX& waveFormat) {
    return waveFormat.wFormatTag == WAVE_FORMAT_PCM ? kHeaderSize : kHeaderSize + waveFormat.cbSize;
}

// The sub-format of an extensible image; the caller has made sure the image is 40 bytes long.
GUID SubFormatOf(const WAVEFORMATEX& waveFormat) {
    GUID subFormat;
    std::memcpy(&subFormat,
                reinterpret_cast<const BYTE*>(&waveFormat) +
                    offsetof(WAVEFORMATEXTENSIBLE, SubFormat),
                sizeof(subFormat));
    return subFormat;
}

bool IsUncompressedSubFormat(const GUID& subFormat) {
    return subFormat == SubFormatFromTag(WAVE_FORMAT_PCM) ||
           subFormat == SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT);
}

// Frames per second of the integer header: truncated toward zero, 0 where a DWORD cannot hold
// the value (negative, NaN, too large) instead of an undefined conversion.
DWORD WholeFramesPerSecond(float rate) {
    if (!(rate > -1.0f && rate < 4294967296.0f)) {
        return 0;
    }
    return static_cast<DWORD>(static_cast<long long>(rate));
}

bool CanUsePlainLayout(const UNCOMPRESSEDAUDIOFORMAT& description) {
    return description.dwSamplesPerFrame <= 2 &&
           description.dwValidBitsPerSample == description.dwBytesPerSampleContainer * 8 &&
           IsUncompressedSubFormat(description.guidFormatType) && description.dwChannelMask == 0;
}

WAVEFORMATEXTENSIBLE WaveFormatFromDescription(const UNCOMPRESSEDAUDIOFORMAT& description) {
    WAVEFORMATEXTENSIBLE image{};
    WAVEFORMATEX& header = image.Format;
    header.nChannels = static_cast<WORD>(description.dwSamplesPerFrame);
    header.nSamplesPerSec = WholeFramesPerSecond(description.fFramesPerSecond);
    header.wBitsPerSample = static_cast<WORD>(description.dwBytesPerSampleContainer * 8);
    header.nBlockAlign =
        static_cast<WORD>(header.nChannels * description.dwBytesPerSampleContainer);
    header.nAvgBytesPerSec = static_cast<DWORD>(header.nBlockAlign) * header.nSamplesPerSec;
    if (CanUsePlainLayout(description)) {
        header.wFormatTag = description.guidFormatType == SubFormatFromTag(WAVE_FORMAT_PCM)
                                ? WAVE_FORMAT_PCM
                                : WAVE_FORMAT_IEEE_FLOAT;
        header.cbSize = 0;
        return image;
    }
    header.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    header.cbSize = kExtensibleExtraSize;
    image.Samples.wValidBitsPerSample = static_cast<WORD>(description.dwValidBitsPerSample);
    image.dwChannelMask = description.dwChannelMask;
    image.SubFormat = description.guidFormatType;
    return image;
}

bool ByteRateWithinTolerance(const WAVEFORMATEX& waveFormat) {
    const UINT32 expected = waveFormat.nSamplesPerSec * waveFormat.nBlockAlign;
    const UINT32 tolerance = expected / 20;
    return waveFormat.nAvgBytesPerSec >= expected - tolerance &&
           waveFormat.nAvgBytesPerSec <= expected + tolerance;
}

bool FollowsPcmRules(const WAVEFORMATEX& waveFormat) {
    const WORD bits = waveFormat.wBitsPerSample;
    return waveFormat.nChannels != 0 && (bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
           waveFormat.nBlockAlign == (bits / 8) * waveFormat.nChannels &&
           ByteRateWithinTolerance(waveFormat);
}

bool FollowsFloatRules(const WAVEFORMATEX& waveFormat) {
    const WORD bits = waveFormat.wBitsPerSample;
    return waveFormat.nChannels != 0 && (bits == 32 || bits == 64) &&
           waveFormat.nBlockAlign == (waveFormat.nChannels * bits) / 8 &&
           ByteRateWithinTolerance(waveFormat);
}

// The first 16 bytes of a header, the part IsEqual compares with wildcards.
struct HeaderFields {
    WORD formatTag;
    WORD channels;
    DWORD samplesPerSec;
    DWORD avgBytesPerSec;
    WORD blockAlign;
    WORD bitsPerSample;

    bool operator==(const HeaderFields& other) const {
        return formatTag == other.formatTag && channels == other.channels &&
               samplesPerSec == other.samplesPerSec && avgBytesPerSec == other.avgBytesPerSec &&
               blockAlign == other.blockAlign && bitsPerSample == other.bitsPerSample;
    }
};

HeaderFields HeaderFieldsOf(const WAVEFORMATEX& waveFormat) {
    return {waveFormat.wFormatTag,      waveFormat.nChannels,   waveFormat.nSamplesPerSec,
            waveFormat.nAvgBytesPerSec, waveFormat.nBlockAlign, waveFormat.wBitsPerSample};
}

// A zero on either side means "any": the field and the fields derived from it stop counting.
void BlankWildcards(HeaderFields& a, HeaderFields& b) {
    if (a.channels == 0 || b.channels == 0) {
        a.channels = b.channels = 0;
        a.avgBytesPerSec = b.avgBytesPerSec = 0;
        a.blockAlign = b.blockAlign = 0;
    }
    if (a.samplesPerSec == 0 || b.samplesPerSec == 0) {
        a.samplesPerSec = b.samplesPerSec = 0;
        a.avgBytesPerSec = b.avgBytesPerSec = 0;
    }
    if (a.bitsPerSample == 0 || b.bitsPerSample == 0) {
        a.bitsPerSample = b.bitsPerSample = 0;
        a.blockAlign = b.blockAlign = 0;
    }
    if (a.formatTag == 0 || b.formatTag == 0) {
        a.formatTag = b.formatTag = 0;
    }
}

// How far two stored formats agree, as AUDIOMEDIATYPE_EQUAL_FORMAT_* flags. Reads no byte of
// either image beyond its own 18 + cbSize.
DWORD CompareWaveFormats(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    HeaderFields headerA = HeaderFieldsOf(a);
    HeaderFields headerB = HeaderFieldsOf(b);
    BlankWildcards(headerA, headerB);
    const UINT32 extraA = headerA.formatTag == WAVE_FORMAT_PCM ? 0 : a.cbSize;
    const UINT32 extraB = headerB.formatTag == WAVE_FORMAT_PCM ? 0 : b.cbSize;
    if (headerA.formatTag != headerB.formatTag) {
        return 0;
    }
    const UINT32 lengthA = FullLength(a);
    const UINT32 lengthB = FullLength(b);
    if (a.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        // A shorter image has no sub-format to compare: it cannot be the same type.
        if (lengthA < kExtensibleSize || lengthB < kExtensibleSize ||
            SubFormatOf(a) != SubFormatOf(b)) {
            return 0;
        }
    }
    if (extraA != extraB) {
        return 0;
    }
    DWORD flags = AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES;
    if (!(headerA == headerB)) {
        return flags;
    }
    flags |= AUDIOMEDIATYPE_EQUAL_FORMAT_DATA;
    if (lengthA != lengthB) {
        return flags;
    }
    const BYTE* extraBytesA = reinterpret_cast<const BYTE*>(&a) + kHeaderSize;
    const BYTE* extraBytesB = reinterpret_cast<const BYTE*>(&b) + kHeaderSize;
    if (std::memcmp(extraBytesA, extraBytesB, lengthA - kHeaderSize) != 0) {
        return flags;
    }
    return flags | AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA;
}

} // namespace

void SetMediaTypeAllocationGate(MediaTypeAllocationGate gate) {
    allocationGate.store(gate);
}

// ---------------------------------------------------------------------------------------------
// Format rules

WORD EffectiveFormatTag(const WAVEFORMATEX* waveFormat) {
    if (waveFormat->wFormatTag != WAVE_FORMAT_EXTENSIBLE) {
        return waveFormat->wFormatTag;
    }
    if (waveFormat->cbSize < kExtensibleExtraSize) {
        return 0;
    }
    const GUID subFormat = SubFormatOf(*waveFormat);
    const GUID base = SubFormatFromTag(0);
    // Derived from a tag: everything but the low half of the first field is the base GUID.
    const std::size_t tagBytes = 2;
    if (std::memcmp(reinterpret_cast<const BYTE*>(&subFormat) + tagBytes,
                    reinterpret_cast<const BYTE*>(&base) + tagBytes,
                    sizeof(GUID) - tagBytes) != 0) {
        return 0;
    }
    return static_cast<WORD>(subFormat.Data1 & 0xFFFF);
}

bool ValidateWaveFormat(const WAVEFORMATEX* waveFormat) {
    const WORD tag = EffectiveFormatTag(waveFormat);
    if (tag == WAVE_FORMAT_PCM && !FollowsPcmRules(*waveFormat)) {
        return false;
    }
    if (tag == WAVE_FORMAT_IEEE_FLOAT && !FollowsFloatRules(*waveFormat)) {
        return false;
    }
    if (waveFormat->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (waveFormat->cbSize < kExtensibleExtraSize) {
            return false;
        }
        const auto& extensible = *reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(waveFormat);
        return extensible.Samples.wValidBitsPerSample <= waveFormat->wBitsPerSample;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Creation

HRESULT CreateMediaTypeFromUncompressedFormat(const UNCOMPRESSEDAUDIOFORMAT* description,
                                              IAudioMediaType** ppMediaType) {
    if (!description) {
        return E_POINTER;
    }
    const WAVEFORMATEXTENSIBLE image = WaveFormatFromDescription(*description);
    return CreateMediaTypeFromWaveFormat(&image.Format, kHeaderSize + image.Format.cbSize,
                                         description->fFramesPerSecond, ppMediaType);
}

HRESULT CreateMediaTypeFromWaveFormat(const WAVEFORMATEX* waveFormat, UINT32 size, float exactRate,
                                      IAudioMediaType** ppMediaType) {
    if (!ppMediaType) {
        return E_INVALIDARG;
    }
    *ppMediaType = nullptr;
    if (!AllocationAllowed(sizeof(AudioMediaType))) {
        return E_OUTOFMEMORY;
    }
    // Owned here until QueryInterface has handed out the one reference.
    std::unique_ptr<AudioMediaType> object(new (std::nothrow) AudioMediaType());
    if (!object) {
        return E_OUTOFMEMORY;
    }
    if (waveFormat) {
        const HRESULT stored = object->StoreFormat(waveFormat, size);
        if (FAILED(stored)) {
            return stored;
        }
    }
    object->SetRateOverride(exactRate);
    const HRESULT queried =
        object->QueryInterface(IID_IAudioMediaType, reinterpret_cast<void**>(ppMediaType));
    if (FAILED(queried)) {
        *ppMediaType = nullptr;
        return queried;
    }
    object.release();
    return queried;
}

// ---------------------------------------------------------------------------------------------
// The object

AudioMediaType::AudioMediaType() {
    liveObjects.fetch_add(1);
}

AudioMediaType::~AudioMediaType() {
    liveObjects.fetch_sub(1);
}

HRESULT AudioMediaType::StoreFormat(const WAVEFORMATEX* waveFormat, UINT32 size) {
    // The size is checked before any rule looks at the extensible fields, so a short image is
    // never read past its end.
    if (!waveFormat || size < kHeaderSize || size < kHeaderSize + waveFormat->cbSize ||
        !ValidateWaveFormat(waveFormat)) {
        return E_INVALIDARG;
    }
    format.reset();
    const UINT32 length = FullLength(*waveFormat);
    if (!AllocationAllowed(length)) {
        return E_OUTOFMEMORY;
    }
    std::unique_ptr<BYTE[]> copy(new (std::nothrow) BYTE[length]);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy.get(), waveFormat, length);
    auto* stored = reinterpret_cast<WAVEFORMATEX*>(copy.get());
    if (stored->wFormatTag == WAVE_FORMAT_PCM) {
        stored->cbSize = 0;
    }
    if (stored->wFormatTag != 0) {
        const bool uncompressed = stored->wFormatTag == WAVE_FORMAT_PCM ||
                                  stored->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                                  (stored->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                                   IsUncompressedSubFormat(SubFormatOf(*stored)));
        isCompressed = uncompressed ? FALSE : TRUE;
    }
    format = std::move(copy);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AudioMediaType::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (riid != IID_IAudioMediaType && riid != __uuidof(IUnknown)) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IAudioMediaType*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE AudioMediaType::AddRef() {
    return referenceCount.fetch_add(1) + 1;
}

ULONG STDMETHODCALLTYPE AudioMediaType::Release() {
    const ULONG remaining = referenceCount.fetch_sub(1) - 1;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

HRESULT STDMETHODCALLTYPE AudioMediaType::IsCompressedFormat(BOOL* pfCompressed) {
    if (!pfCompressed) {
        return E_INVALIDARG;
    }
    *pfCompressed = isCompressed;
    return S_OK;
}

const WAVEFORMATEX* STDMETHODCALLTYPE AudioMediaType::GetAudioFormat() {
    return reinterpret_cast<const WAVEFORMATEX*>(format.get());
}

HRESULT STDMETHODCALLTYPE
AudioMediaType::GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* pUncompressedAudioFormat) {
    const WAVEFORMATEX* stored = GetAudioFormat();
    if (!pUncompressedAudioFormat || !stored) {
        return E_POINTER;
    }
    UNCOMPRESSEDAUDIOFORMAT description{};
    description.dwSamplesPerFrame = stored->nChannels;
    description.dwBytesPerSampleContainer = stored->wBitsPerSample / 8;
    description.fFramesPerSecond = static_cast<float>(stored->nSamplesPerSec);
    if (stored->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        const auto& extensible = *reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(stored);
        description.guidFormatType = extensible.SubFormat;
        description.dwValidBitsPerSample = extensible.Samples.wValidBitsPerSample;
        description.dwChannelMask = extensible.dwChannelMask;
    } else {
        description.guidFormatType = SubFormatFromTag(stored->wFormatTag);
        description.dwValidBitsPerSample = stored->wBitsPerSample;
        description.dwChannelMask = 0;
    }
    // The header can only hold whole frames per second; the rate given at creation is exact.
    if (rateOverride != 0.0f) {
        description.fFramesPerSecond = rateOverride;
    }
    *pUncompressedAudioFormat = description;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AudioMediaType::IsEqual(IAudioMediaType* pIAudioType, DWORD* pdwFlags) {
    if (!pIAudioType || !pdwFlags) {
        return E_INVALIDARG;
    }
    *pdwFlags = 0;
    if (pIAudioType == static_cast<IAudioMediaType*>(this)) {
        *pdwFlags = kAllEqual;
        return S_OK;
    }
    const WAVEFORMATEX* mine = GetAudioFormat();
    const WAVEFORMATEX* theirs = pIAudioType->GetAudioFormat();
    if (!mine || !theirs) {
        // Two objects without a format describe the same nothing.
        *pdwFlags = (!mine && !theirs) ? kAllEqual : 0;
        return *pdwFlags == kAllEqual ? S_OK : S_FALSE;
    }
    *pdwFlags = CompareWaveFormats(*mine, *theirs);
    return (*pdwFlags & AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA) ? S_OK : S_FALSE;
}
