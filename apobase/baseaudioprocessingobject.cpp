// The base object's states and the validation of the connections offered at a lock.
#include "baseaudioprocessingobject.h"

#include "comptr.h"

#include <cstring>

namespace {

// Record size with all of its interface ids: the declared record holds the first one.
size_t RegistrationRecordSize(const APO_REG_PROPERTIES& record) {
    const size_t extraIds = record.u32NumAPOInterfaces > 1 ? record.u32NumAPOInterfaces - 1 : 0;
    return sizeof(APO_REG_PROPERTIES) + extraIds * sizeof(IID);
}

HRESULT ReadFormat(const APO_CONNECTION_DESCRIPTOR* descriptor, UNCOMPRESSEDAUDIOFORMAT* format) {
    if (!descriptor->pFormat) {
        return E_POINTER;
    }
    return descriptor->pFormat->GetUncompressedAudioFormat(format);
}

bool HasNullConnection(UINT32 count, APO_CONNECTION_DESCRIPTOR** descriptors) {
    return count != 0 && (!descriptors || !descriptors[0]);
}

bool SpansOverlap(UINT_PTR inputStart, UINT_PTR inputEnd, UINT_PTR outputStart,
                  UINT_PTR outputEnd) {
    return (outputStart <= inputStart && inputStart < outputEnd) ||
           (outputStart < inputEnd && inputEnd <= outputEnd) ||
           (inputStart < outputStart && inputEnd > outputEnd);
}

// Byte length of a connection's buffer; false when its format cannot be read.
bool BufferSpan(const APO_CONNECTION_DESCRIPTOR* descriptor, UINT_PTR* length) {
    UNCOMPRESSEDAUDIOFORMAT format;
    if (!descriptor->pFormat || FAILED(descriptor->pFormat->GetUncompressedAudioFormat(&format))) {
        return false;
    }
    // 32-bit arithmetic, as the platform computes the span.
    *length = static_cast<UINT32>(descriptor->u32MaxFrameCount * format.dwBytesPerSampleContainer *
                                  format.dwSamplesPerFrame);
    return true;
}

} // namespace

CBaseAudioProcessingObject::CBaseAudioProcessingObject(const APO_REG_PROPERTIES* registration)
    : regProperties(registration) {}

CBaseAudioProcessingObject::~CBaseAudioProcessingObject() = default;

HRESULT STDMETHODCALLTYPE
CBaseAudioProcessingObject::GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) {
    if (!ppRegProps) {
        return E_POINTER;
    }
    const size_t size = RegistrationRecordSize(*regProperties);
    auto* copy = static_cast<APO_REG_PROPERTIES*>(CoTaskMemAlloc(size));
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy, regProperties, size);
    *ppRegProps = copy;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CBaseAudioProcessingObject::GetInputChannelCount(UINT32* pu32ChannelCount) {
    if (!IsInitialized()) {
        return APOERR_NOT_INITIALIZED;
    }
    if (!pu32ChannelCount) {
        return E_POINTER;
    }
    *pu32ChannelCount = samplesPerFrame;
    return S_OK;
}

UINT32 STDMETHODCALLTYPE CBaseAudioProcessingObject::CalcInputFrames(UINT32 u32OutputFrameCount) {
    return u32OutputFrameCount;
}

UINT32 STDMETHODCALLTYPE CBaseAudioProcessingObject::CalcOutputFrames(UINT32 u32InputFrameCount) {
    return CalcInputFrames(u32InputFrameCount);
}

HRESULT STDMETHODCALLTYPE CBaseAudioProcessingObject::LockForProcess(
    UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
    UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) {
    CriticalSectionGuard guard(stateLock);
    if (IsLocked()) {
        return APOERR_APO_LOCKED;
    }
    HRESULT hr = ValidateConnections(u32NumInputConnections, ppInputConnections,
                                     u32NumOutputConnections, ppOutputConnections);
    if (FAILED(hr)) {
        return hr;
    }
    hr = AcceptConnections(u32NumInputConnections, ppInputConnections, u32NumOutputConnections,
                           ppOutputConnections);
    if (SUCCEEDED(hr)) {
        isLocked.store(true, std::memory_order_release);
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CBaseAudioProcessingObject::UnlockForProcess() {
    CriticalSectionGuard guard(stateLock);
    if (!IsLocked()) {
        return APOERR_ALREADY_UNLOCKED;
    }
    isLocked.store(false, std::memory_order_release);
    return S_OK;
}

// Every check of a lock before the effect is asked; the first failing one gives the result.
HRESULT CBaseAudioProcessingObject::ValidateConnections(UINT32 inputCount,
                                                        APO_CONNECTION_DESCRIPTOR** inputs,
                                                        UINT32 outputCount,
                                                        APO_CONNECTION_DESCRIPTOR** outputs) {
    if (HasNullConnection(inputCount, inputs) || HasNullConnection(outputCount, outputs)) {
        return E_POINTER;
    }
    if (inputCount < regProperties->u32MinInputConnections ||
        inputCount > regProperties->u32MaxInputConnections ||
        outputCount < regProperties->u32MinOutputConnections ||
        outputCount > regProperties->u32MaxOutputConnections) {
        return APOERR_NUM_CONNECTIONS_INVALID;
    }
    HRESULT hr = CacheReferenceFormat(inputCount, inputs, outputCount, outputs);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CheckPairwiseAcceptance(inputCount, inputs, outputCount, outputs);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CheckDescriptors(inputCount, inputs);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CheckDescriptors(outputCount, outputs);
    if (FAILED(hr)) {
        return hr;
    }
    if (inputCount == 0 || outputCount == 0) {
        return S_OK;
    }
    if (HasFlag(APO_FLAG_FRAMESPERSECOND_MUST_MATCH) && !HasFlag(APO_FLAG_MIXER) &&
        outputs[0]->u32MaxFrameCount < inputs[0]->u32MaxFrameCount) {
        return APOERR_INVALID_OUTPUT_MAXFRAMECOUNT;
    }
    if (!HasFlag(APO_FLAG_INPLACE) && BuffersOverlap(inputCount, inputs, outputCount, outputs)) {
        return APOERR_BUFFERS_OVERLAP;
    }
    return S_OK;
}

// The first connection's format becomes the one every connection must match, as far as the
// registration flags demand.
HRESULT CBaseAudioProcessingObject::CacheReferenceFormat(UINT32 inputCount,
                                                         APO_CONNECTION_DESCRIPTOR** inputs,
                                                         UINT32 outputCount,
                                                         APO_CONNECTION_DESCRIPTOR** outputs) {
    if (inputCount == 0 && outputCount == 0) {
        return S_OK;
    }
    const APO_CONNECTION_DESCRIPTOR* reference = inputCount != 0 ? inputs[0] : outputs[0];
    UNCOMPRESSEDAUDIOFORMAT format;
    const HRESULT hr = ReadFormat(reference, &format);
    if (FAILED(hr)) {
        return hr;
    }
    if (HasFlag(APO_FLAG_SAMPLESPERFRAME_MUST_MATCH)) {
        samplesPerFrame = format.dwSamplesPerFrame;
    }
    if (HasFlag(APO_FLAG_BITSPERSAMPLE_MUST_MATCH)) {
        validBitsPerSample = format.dwValidBitsPerSample;
        bytesPerContainer = format.dwBytesPerSampleContainer;
    }
    if (HasFlag(APO_FLAG_FRAMESPERSECOND_MUST_MATCH)) {
        framesPerSecond = format.fFramesPerSecond;
    }
    return S_OK;
}

// Every input must be accepted with every output, both ways round, without a proposal.
HRESULT CBaseAudioProcessingObject::CheckPairwiseAcceptance(UINT32 inputCount,
                                                            APO_CONNECTION_DESCRIPTOR** inputs,
                                                            UINT32 outputCount,
                                                            APO_CONNECTION_DESCRIPTOR** outputs) {
    ComPtr<IAudioMediaType> suggestion;
    for (UINT32 in = 0; in < inputCount; ++in) {
        for (UINT32 out = 0; out < outputCount; ++out) {
            IAudioMediaType* inputFormat = inputs[in] ? inputs[in]->pFormat : nullptr;
            IAudioMediaType* outputFormat = outputs[out] ? outputs[out]->pFormat : nullptr;
            if (IsOutputFormatSupported(inputFormat, outputFormat, suggestion.Receive()) != S_OK) {
                return APOERR_FORMAT_NOT_SUPPORTED;
            }
            if (IsInputFormatSupported(outputFormat, inputFormat, suggestion.Receive()) != S_OK) {
                return APOERR_FORMAT_NOT_SUPPORTED;
            }
        }
    }
    return S_OK;
}

HRESULT CBaseAudioProcessingObject::CheckDescriptors(UINT32 count,
                                                     APO_CONNECTION_DESCRIPTOR** descriptors) {
    for (UINT32 index = 0; index < count; ++index) {
        const APO_CONNECTION_DESCRIPTOR* descriptor = descriptors[index];
        if (!descriptor) {
            return E_POINTER;
        }
        if (descriptor->u32Signature != APO_CONNECTION_DESCRIPTOR_SIGNATURE) {
            return E_INVALIDARG;
        }
        UNCOMPRESSEDAUDIOFORMAT format;
        const HRESULT hr = ReadFormat(descriptor, &format);
        if (FAILED(hr)) {
            return hr;
        }
        if (!CheckCachedFormat(format)) {
            return APOERR_INVALID_CONNECTION_FORMAT;
        }
    }
    return S_OK;
}

bool CBaseAudioProcessingObject::CheckCachedFormat(const UNCOMPRESSEDAUDIOFORMAT& format) const {
    if (HasFlag(APO_FLAG_SAMPLESPERFRAME_MUST_MATCH) &&
        format.dwSamplesPerFrame != samplesPerFrame) {
        return false;
    }
    if (HasFlag(APO_FLAG_BITSPERSAMPLE_MUST_MATCH) &&
        (format.dwValidBitsPerSample != validBitsPerSample ||
         format.dwBytesPerSampleContainer != bytesPerContainer)) {
        return false;
    }
    // Exact equality on purpose; a NaN on either side never matches.
    if (HasFlag(APO_FLAG_FRAMESPERSECOND_MUST_MATCH) &&
        !(format.fFramesPerSecond == framesPerSecond)) {
        return false;
    }
    return true;
}

bool BuffersOverlap(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs, UINT32 outputCount,
                    APO_CONNECTION_DESCRIPTOR** outputs) {
    for (UINT32 in = 0; in < inputCount; ++in) {
        const APO_CONNECTION_DESCRIPTOR* input = inputs[in];
        if (!input || input->pBuffer == 0) {
            continue;
        }
        UINT_PTR inputLength = 0;
        if (!BufferSpan(input, &inputLength)) {
            return false;
        }
        for (UINT32 out = 0; out < outputCount; ++out) {
            const APO_CONNECTION_DESCRIPTOR* output = outputs[out];
            if (!output || output->pBuffer == 0) {
                continue;
            }
            UINT_PTR outputLength = 0;
            if (!BufferSpan(output, &outputLength)) {
                return false;
            }
            if (SpansOverlap(input->pBuffer, input->pBuffer + inputLength, output->pBuffer,
                             output->pBuffer + outputLength)) {
                return true;
            }
        }
    }
    return false;
}
