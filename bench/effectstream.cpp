#include "effectstream.h"

#include "endpointchanger.h"
#include "formatnegotiation.h"
#include "hostmediatype.h"
#include "hresultnames.h"
#include "wavformat.h"

#include <cmath>

namespace {

// The endpoint values that select a preset: enable alone gives 0, mode alone 1, neither 2.
HRESULT SelectPreset(MemoryPropertyStore& store, uint32_t preset) {
    HRESULT result =
        store.SetUInt32(EndpointPropertyKey(EndpointProperty::Enable), preset == 0 ? 1u : 0u);
    if (SUCCEEDED(result)) {
        result =
            store.SetUInt32(EndpointPropertyKey(EndpointProperty::Mode), preset == 1 ? 1u : 0u);
    }
    return result;
}

bool Failed(HRESULT result, const char* step, std::string& error) {
    if (SUCCEEDED(result)) {
        return false;
    }
    error = std::string(step) + " failed: " + DescribeHResult(result);
    return true;
}

} // namespace

EffectStream::~EffectStream() {
    effect.ReleaseAndAskUnload();
}

bool EffectStream::Open(uint32_t preset, uint32_t sampleRate, StreamBuffers& buffers,
                        std::string& error) {
    endpointStore = ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    effectsStore = ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    if (!endpointStore || !effectsStore) {
        error = "out of memory";
        return false;
    }
    if (Failed(SelectPreset(*endpointStore.Get(), preset), "setting the endpoint properties",
               error) ||
        Failed(effect.Create(), "creating KovraAPO (is KovraAPO.dll registered?)", error) ||
        Failed(effect.Initialize(endpointStore.Get(), effectsStore.Get()), "Initialize", error)) {
        return false;
    }
    const float rate = static_cast<float>(sampleRate);
    const UNCOMPRESSEDAUDIOFORMAT inputFormat =
        FloatStreamFormat(buffers.inputChannels,
                          DefaultChannelMask(static_cast<uint16_t>(buffers.inputChannels)), rate);
    const UNCOMPRESSEDAUDIOFORMAT outputFormat = FloatStreamFormat(2, 0x3, rate);
    if (!NegotiateFormats(effect.Processing(), inputFormat, outputFormat).Accepted()) {
        error = "the effect refuses " + DescribeStreamFormat(inputFormat);
        return false;
    }
    if (Failed(effect.Lock(buffers, inputFormat, outputFormat), "LockForProcess", error)) {
        return false;
    }
    input.pBuffer = reinterpret_cast<UINT_PTR>(buffers.input.data());
    input.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
    output.pBuffer = reinterpret_cast<UINT_PTR>(buffers.output.data());
    output.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
    return true;
}

bool EffectStream::RequestReload(uint32_t preset, std::string& error) {
    // Enable alone selects preset 0 again; with enable off every mode notification selects.
    const PROPERTYKEY& key =
        EndpointPropertyKey(preset == 0 ? EndpointProperty::Enable : EndpointProperty::Mode);
    return !Failed(effect.Notifications()->OnPropertyValueChanged(L"", key),
                   "OnPropertyValueChanged", error);
}

void EffectStream::Before(uint32_t frames) {
    input.u32ValidFrameCount = frames;
    input.u32BufferFlags = BUFFER_VALID;
    output.u32ValidFrameCount = 0;
    output.u32BufferFlags = BUFFER_INVALID;
}

void EffectStream::CheckAnswer(uint32_t frames) {
    allValid =
        allValid && output.u32BufferFlags == BUFFER_VALID && output.u32ValidFrameCount == frames;
}

bool EffectStream::LatencyFrames(uint32_t sampleRate, uint32_t& frames, std::string& error) {
    HNSTIME latency = 0;
    if (Failed(effect.GetLatency(latency), "GetLatency", error)) {
        return false;
    }
    frames = static_cast<uint32_t>(std::llround(static_cast<double>(latency) * sampleRate / 1e7));
    return true;
}
