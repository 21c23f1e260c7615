// The effect object's life, its engine instance, and the two small IAudioProcessingObject
// methods that need no more than that.
#include "kovraapo.h"

#include <cmath>
#include <thread>

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
    going = true;
    if (IsInitialized() && deviceEnumerator) {
        deviceEnumerator->UnregisterEndpointNotificationCallback(this);
    }
    // The platform's enumerator lets a notification under way finish before it unregisters; one
    // that does not must not see the store released or the object freed under it either. The
    // handler never waits, so neither does this for long.
    while (notificationsUnderWay.load() != 0) {
        std::this_thread::yield();
    }
    // A client that releases a locked object without unlocking it must not leak the instance.
    DestroyEngineInstance();
    endpointStore.Reset();
    deviceEnumerator.Reset();
    // The module's count of live objects goes down in InnerRelease, once the memory is freed.
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
    const uint32_t frames = latencyFrames.load();
    if (sampleRate <= 0) {
        *pTime = 0; // no rate to convert with; a lock always sets one
        return S_OK;
    }
    // Single precision, as the audio engine's own arithmetic on frame rates.
    const float seconds = static_cast<float>(frames) / static_cast<float>(sampleRate);
    const float hundredNanoseconds = seconds * 10000000.0f;
    *pTime = static_cast<HNSTIME>(std::llround(static_cast<double>(hundredNanoseconds)));
    return S_OK;
}

void (*afterEndpointValuesRead)(KovraAPO* effect) = nullptr;

UINT32 KovraAPO::UpdateFilterMode() {
    for (;;) {
        const PresetSelection::Seen seen = filterMode.Read();
        const UINT32 enable = enableProperty.load();
        const UINT32 mode = modeProperty.load();
        if (afterEndpointValuesRead) {
            afterEndpointValuesRead(this);
        }
        // Both set is not a valid request: the preset in force stays.
        UINT32 preset = seen.Preset();
        if (enable != 0 && mode == 0) {
            preset = 0;
        } else if (enable == 0) {
            preset = mode != 0 ? 1 : 2;
        }
        if (filterMode.Decide(seen, preset)) {
            return preset;
        }
    }
}

void KovraAPO::OpenEngineInstance(UINT32 preset) {
    const KovraHandle held = engineHandle.load();
    if (held) {
        Kovra_reset(held);
    }
    const char* name = ConfigurationName(inputChannels, preset);
    KovraHandle opened = nullptr;
    if (!name || Kovra_create(&opened, Kovra_getConfigIndexFromName(name)) != KovraResult_kOk ||
        !opened) {
        return;
    }
    Kovra_prepareToPlay(opened, sampleRate, static_cast<int32_t>(inputChannels),
                        static_cast<int32_t>(maxFrameCount), KovraSampleBytes_kFloat32,
                        KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
    if (preset < kPresetCount) {
        Kovra_Ambrel_loadFilter(opened, static_cast<int32_t>(preset));
    }
    uint32_t frames = 0;
    if (Kovra_getLatency(opened, &frames) != KovraResult_kOk) {
        frames = 0;
    }
    latencyFrames.store(frames);
    engineHandle.store(opened);
    // A reload replaces the instance; the old one would otherwise leak at every change.
    if (held) {
        Kovra_destroy(held);
    }
}

void KovraAPO::DestroyEngineInstance() {
    if (const KovraHandle held = engineHandle.exchange(nullptr)) {
        Kovra_destroy(held);
    }
    latencyFrames.store(0);
}
