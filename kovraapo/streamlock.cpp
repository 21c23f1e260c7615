// LockForProcess and UnlockForProcess: the stream's shape is fixed, the preset chosen and the
// engine instance opened for it; unlocking destroys the instance.
#include "kovraapo.h"

#include "audiomediatype.h"
#include "loghelper.h"

#include <string>

namespace {

// The first connection of one side must be there to be read: the engine always passes one of
// each, and a caller that does not gets E_POINTER rather than a dereferenced null.
HRESULT ReadFirstFormat(UINT32 count, APO_CONNECTION_DESCRIPTOR** descriptors,
                        UNCOMPRESSEDAUDIOFORMAT* format) {
    if (count == 0 || !descriptors || !descriptors[0] || !descriptors[0]->pFormat) {
        return E_POINTER;
    }
    return descriptors[0]->pFormat->GetUncompressedAudioFormat(format);
}

// The system's text for a failure code, widened from the ANSI code page for the log.
std::wstring FailureText(HRESULT hr) {
    _com_error error(hr);
    const char* text = error.MessageText();
    if (!text) {
        return std::wstring();
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    return wide;
}

// The real-time path hands the engine 4-byte float samples and writes 4-byte floats. Any other
// sample would be taken as one: garbage from a wider container, and from a narrower one reads
// and writes past the buffers the engine sized for it.
bool HoldsFloatSamples(const APO_CONNECTION_DESCRIPTOR* descriptor) {
    UNCOMPRESSEDAUDIOFORMAT format;
    return descriptor && descriptor->pFormat &&
           SUCCEEDED(descriptor->pFormat->GetUncompressedAudioFormat(&format)) &&
           format.guidFormatType == SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT) &&
           format.dwBytesPerSampleContainer == sizeof(float);
}

bool AllHoldFloatSamples(UINT32 count, APO_CONNECTION_DESCRIPTOR** descriptors) {
    for (UINT32 index = 0; index < count; ++index) {
        if (!HoldsFloatSamples(descriptors[index])) {
            return false;
        }
    }
    return true;
}

} // namespace

// Called by the base's lock once every connection passed its checks, so every other refusal
// keeps its own code; negotiation, which asks about valid bits only, is left as it is.
HRESULT KovraAPO::AcceptConnections(UINT32 u32NumInputConnections,
                                    APO_CONNECTION_DESCRIPTOR** ppInputConnections,
                                    UINT32 u32NumOutputConnections,
                                    APO_CONNECTION_DESCRIPTOR** ppOutputConnections) {
    if (!AllHoldFloatSamples(u32NumInputConnections, ppInputConnections)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Unsupported sample format in LockForProcess (in)");
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    if (!AllHoldFloatSamples(u32NumOutputConnections, ppOutputConnections)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Unsupported sample format in LockForProcess (out)");
        return APOERR_FORMAT_NOT_SUPPORTED;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KovraAPO::LockForProcess(
    UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
    UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) {
    LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"LockForProcess");

    UNCOMPRESSEDAUDIOFORMAT inputFormat;
    HRESULT hr = ReadFirstFormat(u32NumInputConnections, ppInputConnections, &inputFormat);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat in LockForProcess (in)");
        return hr;
    }
    UNCOMPRESSEDAUDIOFORMAT outputFormat;
    hr = ReadFirstFormat(u32NumOutputConnections, ppOutputConnections, &outputFormat);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in GetUncompressedAudioFormat in LockForProcess (out)");
        return hr;
    }

    hr = CBaseAudioProcessingObject::LockForProcess(u32NumInputConnections, ppInputConnections,
                                                    u32NumOutputConnections, ppOutputConnections);
    if (FAILED(hr)) {
        LogMessage(__FILE__, __LINE__, PrimaryFace(), false,
                   L"Error in CBaseAudioProcessingObject::LockForProcess: %s",
                   FailureText(hr).c_str());
        return hr;
    }

    // The stream's shape changes only with a lock that succeeds: a refused one, a second lock
    // above all, must not change what a reload block prepares its instance for while the stream
    // runs.
    maxFrameCount = ppInputConnections[0]->u32MaxFrameCount;
    inputChannels = inputFormat.dwSamplesPerFrame;
    outputChannels = outputFormat.dwSamplesPerFrame;
    sampleRate = static_cast<INT32>(inputFormat.fFramesPerSecond);

    // The preset decided here is the one opened: a notification after the decision raises the
    // reload flag, and the first valid block applies it.
    OpenEngineInstance(UpdateFilterMode());
    return hr;
}

HRESULT STDMETHODCALLTYPE KovraAPO::UnlockForProcess() {
    LogMessage(__FILE__, __LINE__, PrimaryFace(), true, L"UnlockForProcess");
    // Destroyed even when the base reports that the object was not locked.
    DestroyEngineInstance();
    return CBaseAudioProcessingObject::UnlockForProcess();
}
