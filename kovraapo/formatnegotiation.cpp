// Format negotiation: which input and output formats the effect can process. Input of 2, 6 or
// 8 channels may come in, always at the output's rate; stereo goes out at the input's bit
// depth. Both methods read no state of the object, so the engine may ask at any time.
#include "kovraapo.h"

#include "audiomediatype.h"
#include "loghelper.h"

#include <ksmedia.h>

namespace {

bool IsAcceptedInputChannelCount(DWORD channels) {
    return channels == 2 || channels == 6 || channels == 8;
}

bool IsAcceptedInputChannelMask(DWORD mask) {
    return mask == KSAUDIO_SPEAKER_STEREO || mask == KSAUDIO_SPEAKER_5POINT1 ||
           mask == KSAUDIO_SPEAKER_7POINT1 || mask == KSAUDIO_SPEAKER_5POINT1_SURROUND ||
           mask == KSAUDIO_SPEAKER_7POINT1_SURROUND;
}

// Exact comparison on purpose: the engine's rates are whole numbers, and a NaN is refused.
bool IsAcceptedRate(float framesPerSecond) {
    return framesPerSecond == 48000.0f || framesPerSecond == 96000.0f;
}

bool IsAcceptedValidBits(DWORD validBits) {
    return validBits == 16 || validBits == 24 || validBits == 32;
}

// Compression is only worth a trace line: the description decides everything.
bool ReportsCompressed(IAudioMediaType* mediaType) {
    BOOL compressed = FALSE;
    return mediaType->IsCompressedFormat(&compressed) == S_OK && compressed;
}

// Builds the supported media type and hands it out. The out-parameter is written only on
// success, so a caller never sees S_OK or S_FALSE with nothing in it.
HRESULT HandOutMediaType(const void* effect, const wchar_t* side,
                         const UNCOMPRESSEDAUDIOFORMAT& format, IAudioMediaType** supported) {
    IAudioMediaType* created = nullptr;
    const HRESULT hr = CreateMediaTypeFromUncompressedFormat(&format, &created);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, effect, false,
                   L"Error in CreateMediaTypeFromUncompressedFormat (%s): 0x%08lX", side,
                   static_cast<unsigned long>(hr));
        // Anything but running out of memory means the description cannot be a wave format.
        return hr == E_OUTOFMEMORY ? E_OUTOFMEMORY : APOERR_FORMAT_NOT_SUPPORTED;
    }
    *supported = created;
    return S_OK;
}

} // namespace

HRESULT STDMETHODCALLTYPE KovraAPO::IsInputFormatSupported(
    IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedInputFormat,
    IAudioMediaType** ppSupportedInputFormat) {
    if (!pOppositeFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"pOutputFormat NULL");
        return E_POINTER;
    }
    if (!pRequestedInputFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"pRequestedInputFormat NULL");
        return E_POINTER;
    }
    if (!ppSupportedInputFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"ppSupportedInputFormat NULL");
        return E_POINTER;
    }
    if (ReportsCompressed(pRequestedInputFormat)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"Input is compressed");
    }
    UNCOMPRESSEDAUDIOFORMAT requested;
    HRESULT hr = pRequestedInputFormat->GetUncompressedAudioFormat(&requested);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat (in req)");
        return hr;
    }
    UNCOMPRESSEDAUDIOFORMAT output;
    hr = pOppositeFormat->GetUncompressedAudioFormat(&output);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat (out)");
        return hr;
    }

    // Channel count, mask and rate can be proposed instead; the rate and the bit depth of the
    // request itself decide whether there is anything to propose at all.
    UNCOMPRESSEDAUDIOFORMAT proposal = requested;
    bool changed = false;
    if (!IsAcceptedInputChannelCount(requested.dwSamplesPerFrame)) {
        proposal.dwSamplesPerFrame = 2;
        changed = true;
    }
    if (!IsAcceptedInputChannelMask(requested.dwChannelMask)) {
        proposal.dwChannelMask = KSAUDIO_SPEAKER_STEREO;
        changed = true;
    }
    if (!(requested.fFramesPerSecond == output.fFramesPerSecond)) {
        proposal.fFramesPerSecond = output.fFramesPerSecond;
        changed = true;
    }
    if (!IsAcceptedRate(requested.fFramesPerSecond) ||
        !IsAcceptedValidBits(requested.dwValidBitsPerSample)) {
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    hr = HandOutMediaType(PrimaryFace(), L"in", proposal, ppSupportedInputFormat);
    if (FAILED(hr)) {
        return hr;
    }
    return changed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE KovraAPO::IsOutputFormatSupported(
    IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedOutputFormat,
    IAudioMediaType** ppSupportedOutputFormat) {
    if (!pOppositeFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"pInputFormat NULL");
        return E_POINTER;
    }
    if (!pRequestedOutputFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"pRequestedOutputFormat NULL");
        return E_POINTER;
    }
    if (!ppSupportedOutputFormat) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"ppSupportedOutputFormat NULL");
        return E_POINTER;
    }
    if (ReportsCompressed(pRequestedOutputFormat)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"Output is compressed");
    }
    UNCOMPRESSEDAUDIOFORMAT requested;
    HRESULT hr = pRequestedOutputFormat->GetUncompressedAudioFormat(&requested);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat (out req)");
        return hr;
    }
    UNCOMPRESSEDAUDIOFORMAT input;
    hr = pOppositeFormat->GetUncompressedAudioFormat(&input);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat (in)");
        return hr;
    }

    if (requested.dwSamplesPerFrame != 2) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Unsupported dwSamplesPerFrame (out)");
        OutputDebugStringA("APO IsOutputFormatSupported: Unsupported dwSamplesPerFrame");
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    if (!IsAcceptedRate(requested.fFramesPerSecond)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false, L"Unsupported fFramesPerSecond (out)");
        OutputDebugStringA("APO IsOutputFormatSupported: Unsupported fFramesPerSecond");
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    // The registration promises the audio engine equal bit depths on both sides.
    if (requested.dwValidBitsPerSample != input.dwValidBitsPerSample) {
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    hr = HandOutMediaType(PrimaryFace(), L"out", requested, ppSupportedOutputFormat);
    if (FAILED(hr)) {
        return hr;
    }
    OutputDebugStringA("APO IsOutputFormatSupported SUCCESS: returning S_OK");
    LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"IsOutputFormatSupported successful");
    return S_OK;
}
