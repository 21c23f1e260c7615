// The effect object's life, its engine instance, and the two small IAudioProcessingObject
// methods that need no more than that.
#include "kovraapo.h"

#include <cmath>

std::atomic<LONG> objectCount{0};
std::atomic<int32_t> engineStartupResult{0};

namespace {

// Engine configuration for the input channel count: the filtered one for preset 0, the bypass
// one for the other presets. Null for a count the engine has no configuration for.
const char* ConfigurationName(UINT32 channels, UINT32 preset) {
    const bool bypass = preset != 0;
    switch (channels) {
    case 2:
        return bypass ? "2_ch_bypass" : "2_ch";
    case 6:
        return bypass ? "6_ch_bypass" : "6_ch";
    case 8:
        return bypass ? "8_ch_bypass" : "8_ch";
    default:
        return nullptr;
    }
}

constexpr UINT32 kPresetCount = 3;

} // namespace

KovraAPO::KovraAPO(IUnknown* outer, const APO_REG_PROPERTIES* registration)
    : CBaseAudioProcessingObject(registration) {
    // The non-delegating face matches IUnknown slot for slot; standing alone, the object is its
    // own controlling unknown.
    outerUnknown = outer ? outer : reinterpret_cast<IUnknown*>(InnerUnknown());
    ++objectCount;
}

KovraAPO::~KovraAPO() {
    if (IsInitialized() && deviceEnumerator) {
        deviceEnumerator->UnregisterEndpointNotificationCallback(this);
    }
    --objectCount;
    endpointStore.Reset();
    deviceEnumerator.Reset();
    // A client that releases a locked object without unlocking it must not leak the instance.
    DestroyEngineInstance();
}

HRESULT STDMETHODCALLTYPE KovraAPO::Reset() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KovraAPO::GetLatency(HNSTIME* pTime) {
    if (!pTime) {
        return E_POINTER;
    }
    if (!IsLocked()) {
        return APOERR_ALREADY_UNLOCKED;
    }
    uint32_t latencyFrames = 0;
    Kovra_getLatency(engineHandle, &latencyFrames);
    if (sampleRate <= 0) {
        *pTime = 0; // no rate to convert with; a lock always sets one
        return S_OK;
    }
    // Single precision, as the audio engine's own arithmetic on frame rates.
    const float seconds = static_cast<float>(latencyFrames) / static_cast<float>(sampleRate);
    const float hundredNanoseconds = seconds * 10000000.0f;
    *pTime = static_cast<HNSTIME>(std::llround(static_cast<double>(hundredNanoseconds)));
    return S_OK;
}

HRESULT KovraAPO::AcceptConnections(UINT32, APO_CONNECTION_DESCRIPTOR**, UINT32,
                                    APO_CONNECTION_DESCRIPTOR**) {
    return S_OK;
}

void KovraAPO::UpdateFilterMode() {
    // Both properties set is not a valid request: the preset in force stays.
    if (enableProperty.load() != 0 && modeProperty.load() == 0) {
        filterMode.exchange(0);
    }
    if (enableProperty.load() == 0 && modeProperty.load() != 0) {
        filterMode.exchange(1);
    }
    if (enableProperty.load() == 0 && modeProperty.load() == 0) {
        filterMode.exchange(2);
    }
}

void KovraAPO::OpenEngineInstance(UINT32 preset) {
    if (engineHandle) {
        Kovra_reset(engineHandle);
    }
    if (const char* name = ConfigurationName(inputChannels, preset)) {
        const KovraHandle replaced = engineHandle;
        Kovra_create(&engineHandle, Kovra_getConfigIndexFromName(name));
        // A reload replaces the instance; the old one would otherwise leak at every change.
        if (replaced && engineHandle != replaced) {
            Kovra_destroy(replaced);
        }
    }
    if (engineHandle) {
        Kovra_prepareToPlay(engineHandle, sampleRate, static_cast<int32_t>(inputChannels),
                            static_cast<int32_t>(maxFrameCount), KovraSampleBytes_kFloat32,
                            KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
    }
}

void KovraAPO::LoadFilterForMode(UINT32 preset) {
    if (preset < kPresetCount) {
        Kovra_Ambrel_loadFilter(engineHandle, static_cast<int32_t>(preset));
    }
}

void KovraAPO::DestroyEngineInstance() {
    if (engineHandle) {
        Kovra_destroy(engineHandle);
        engineHandle = nullptr;
    }
}
