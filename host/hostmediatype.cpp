#include "hostmediatype.h"

#include <cstring>
#include <new>

namespace {

constexpr GUID kFloatSubFormat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kPcmSubFormat = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

} // namespace

bool IsFloatSubFormat(const GUID& guid) {
    return IsEqualGUID(guid, kFloatSubFormat) != 0;
}

UNCOMPRESSEDAUDIOFORMAT FloatStreamFormat(DWORD channels, DWORD channelMask,
                                          float framesPerSecond) {
    UNCOMPRESSEDAUDIOFORMAT format{};
    format.guidFormatType = kFloatSubFormat;
    format.dwSamplesPerFrame = channels;
    format.dwBytesPerSampleContainer = 4;
    format.dwValidBitsPerSample = 32;
    format.fFramesPerSecond = framesPerSecond;
    format.dwChannelMask = channelMask;
    return format;
}

HostMediaType::HostMediaType(const UNCOMPRESSEDAUDIOFORMAT& format) : description(format) {
    std::memset(&waveFormat, 0, sizeof waveFormat);
    WAVEFORMATEX& header = waveFormat.Format;
    header.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    header.nChannels = static_cast<WORD>(format.dwSamplesPerFrame);
    header.nSamplesPerSec = static_cast<DWORD>(format.fFramesPerSecond);
    header.wBitsPerSample = static_cast<WORD>(format.dwBytesPerSampleContainer * 8);
    header.nBlockAlign =
        static_cast<WORD>(format.dwSamplesPerFrame * format.dwBytesPerSampleContainer);
    header.nAvgBytesPerSec = header.nSamplesPerSec * header.nBlockAlign;
    header.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    waveFormat.Samples.wValidBitsPerSample = static_cast<WORD>(format.dwValidBitsPerSample);
    waveFormat.dwChannelMask = format.dwChannelMask;
    waveFormat.SubFormat = format.guidFormatType;
}

HRESULT HostMediaType::Create(const UNCOMPRESSEDAUDIOFORMAT& format, IAudioMediaType** mediaType) {
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    *mediaType = new (std::nothrow) HostMediaType(format);
    return *mediaType == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT STDMETHODCALLTYPE HostMediaType::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAudioMediaType)) {
        *object = static_cast<IAudioMediaType*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE HostMediaType::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE HostMediaType::Release() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE HostMediaType::IsCompressedFormat(BOOL* compressed) {
    if (compressed == nullptr) {
        return E_POINTER;
    }
    *compressed = IsEqualGUID(description.guidFormatType, kFloatSubFormat) ||
                          IsEqualGUID(description.guidFormatType, kPcmSubFormat)
                      ? FALSE
                      : TRUE;
    return S_OK;
}

// Compares the wave formats byte for byte: the tag and sub-format give "types equal", the common
// header "data equal", the extensible tail "user data equal".
HRESULT STDMETHODCALLTYPE HostMediaType::IsEqual(IAudioMediaType* other, DWORD* flags) {
    if (other == nullptr || flags == nullptr) {
        return E_POINTER;
    }
    *flags = 0;
    const WAVEFORMATEX* theirs = other->GetAudioFormat();
    if (theirs == nullptr || theirs->wFormatTag != waveFormat.Format.wFormatTag ||
        theirs->cbSize < waveFormat.Format.cbSize) {
        return S_FALSE;
    }
    const auto* theirsExtensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(theirs);
    if (!IsEqualGUID(theirsExtensible->SubFormat, waveFormat.SubFormat)) {
        return S_FALSE;
    }
    *flags |= AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES;
    if (std::memcmp(theirs, &waveFormat.Format, sizeof(WAVEFORMATEX)) != 0) {
        return S_FALSE;
    }
    *flags |= AUDIOMEDIATYPE_EQUAL_FORMAT_DATA;
    if (std::memcmp(theirs, &waveFormat, sizeof waveFormat) != 0) {
        return S_FALSE;
    }
    *flags |= AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA;
    return S_OK;
}

const WAVEFORMATEX* STDMETHODCALLTYPE HostMediaType::GetAudioFormat() {
    return &waveFormat.Format;
}

HRESULT STDMETHODCALLTYPE
HostMediaType::GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* format) {
    if (format == nullptr) {
        return E_POINTER;
    }
    *format = description;
    return S_OK;
}
