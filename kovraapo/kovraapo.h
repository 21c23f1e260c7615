// KovraAPO: the system-effects audio processing object. It validates what the audio engine
// hands it, keeps the stream's state and passes every block through one instance of the sound
// engine library; all signal processing lives in that library.
//
// Sources, one concern each: kovraapo.cpp (object, engine instance, Reset, GetLatency),
// streamlock.cpp (LockForProcess with the samples it takes, UnlockForProcess),
// realtimeprocess.cpp (APOProcess), endpointsettings.cpp (Initialize and endpoint
// notifications), presetselection.h (the preset they share without a lock),
// formatnegotiation.cpp (IsInputFormatSupported, IsOutputFormatSupported), identity.cpp (COM
// identity and aggregation).
#pragma once

#include "apocontract.h"
#include "baseaudioprocessingobject.h"
#include "comptr.h"
#include "kovraengine.h"
#include "presetselection.h"

#include <atomic>

// The object's own unknown when it is aggregated: the aggregator holds this face and reaches
// the object's identity through it, while every other face delegates to the aggregator. Slot
// for slot it matches IUnknown, so it can stand wherever an IUnknown pointer is expected.
class INonDelegatingUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE InnerAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE InnerRelease() = 0;
};

// Live effect objects of this module; the module may unload only while it is zero.
extern std::atomic<LONG> objectCount;

// Result of the engine library's one-time initialisation at module load (0 until then).
extern std::atomic<int32_t> engineStartupResult;

// Makes the device enumerator that Initialize registers the object with for endpoint
// notifications: the platform's, through CoCreateInstance. Replaceable, so that tests can see
// failures the platform does not produce on demand.
using DeviceEnumeratorFactory = HRESULT (*)(IMMDeviceEnumerator** enumerator);
HRESULT CreatePlatformDeviceEnumerator(IMMDeviceEnumerator** enumerator);
extern DeviceEnumeratorFactory createDeviceEnumerator;

class KovraAPO;
// Called by UpdateFilterMode between reading the two endpoint values and deciding the preset;
// null in the product. Lets a test place another thread's call at exactly that point.
extern void (*afterEndpointValuesRead)(KovraAPO* effect);

class KovraAPO : public CBaseAudioProcessingObject,
                 public IAudioSystemEffects,
                 public IMMNotificationClient,
                 public INonDelegatingUnknown {
public:
    // outer: the aggregating object's unknown, or null when the object stands alone.
    KovraAPO(IUnknown* outer, const APO_REG_PROPERTIES* registration);
    ~KovraAPO() override;

    // IUnknown of every COM face: delegates to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // INonDelegatingUnknown
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE InnerAddRef() override;
    ULONG STDMETHODCALLTYPE InnerRelease() override;

    // IAudioProcessingObject
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME* pTime) override;
    HRESULT STDMETHODCALLTYPE Initialize(UINT32 cbDataSize, BYTE* pbyData) override;
    HRESULT STDMETHODCALLTYPE
    IsInputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedInputFormat,
                           IAudioMediaType** ppSupportedInputFormat) override;
    HRESULT STDMETHODCALLTYPE IsOutputFormatSupported(
        IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedOutputFormat,
        IAudioMediaType** ppSupportedOutputFormat) override;

    // IAudioProcessingObjectRT
    void STDMETHODCALLTYPE APOProcess(UINT32 u32NumInputConnections,
                                      APO_CONNECTION_PROPERTY** ppInputConnections,
                                      UINT32 u32NumOutputConnections,
                                      APO_CONNECTION_PROPERTY** ppOutputConnections) override;

    // IAudioProcessingObjectConfiguration
    HRESULT STDMETHODCALLTYPE LockForProcess(
        UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
        UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) override;
    HRESULT STDMETHODCALLTYPE UnlockForProcess() override;

    // IMMNotificationClient
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR pwstrDeviceId,
                                                   DWORD dwNewState) override;
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR pwstrDeviceId) override;
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR pwstrDeviceId) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                     LPCWSTR pwstrDefaultDeviceId) override;
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR pwstrDeviceId,
                                                     const PROPERTYKEY key) override;

    // CBaseAudioProcessingObject: refuses connections whose samples are not 32-bit floats.
    HRESULT AcceptConnections(UINT32 u32NumInputConnections,
                              APO_CONNECTION_DESCRIPTOR** ppInputConnections,
                              UINT32 u32NumOutputConnections,
                              APO_CONNECTION_DESCRIPTOR** ppOutputConnections) override;

    // Sets filterMode from the two endpoint values and returns the preset it leaves in force, so
    // the lock opens the instance with the preset it decided. A notification that comes between
    // its reading the values and its write makes it decide again, never wait.
    UINT32 UpdateFilterMode();
    // Opens an instance of the configuration for the locked stream and `preset`, prepares it,
    // loads the preset and only then puts it in place of the held one, which is destroyed.
    // When no instance can be made (no configuration for the channel count, creation failed)
    // the held one stays, with the preset it has.
    void OpenEngineInstance(UINT32 preset);

    // The face that stands for the object as a whole.
    IAudioProcessingObject* PrimaryFace() { return static_cast<IAudioProcessingObject*>(this); }
    INonDelegatingUnknown* InnerUnknown() { return static_cast<INonDelegatingUnknown*>(this); }

protected:
    // Set by the first Initialize whose record carries one, read by notifications.
    PublishedComPtr<IPropertyStore> endpointStore;
    ComPtr<IMMDeviceEnumerator> deviceEnumerator;
    std::atomic<UINT32> enableProperty{0};
    std::atomic<UINT32> modeProperty{0};
    std::atomic<LONG> referenceCount{1};
    IUnknown* outerUnknown = nullptr; // held without a reference of its own
    // The locked stream's shape: written by a lock that succeeds, before the engine calls
    // APOProcess, and by nothing else, so the real-time thread reads them plainly.
    UINT32 inputChannels = 0;
    UINT32 outputChannels = 2;
    UINT32 maxFrameCount = 0;   // no block is longer, and every instance is prepared for it
    UINT32 blockFrameCount = 0; // not the shape: the block being processed, written by it
    INT32 sampleRate = 0;
    // Written at lock and unlock on the control thread and by reload blocks on the real-time
    // thread, which the platform never runs at once; read by blocks only.
    std::atomic<KovraHandle> engineHandle{nullptr};
    PresetSelection filterMode{2};
    std::atomic<UINT32> reloadPending{0};
    // The held instance's latency, taken when it was opened: GetLatency runs on the control
    // thread and must not touch an instance that a reload block may be replacing.
    std::atomic<UINT32> latencyFrames{0};
    // Property notifications under way, and whether the object is going: the destructor waits
    // for those under way, and one that starts while it goes does nothing.
    std::atomic<LONG> notificationsUnderWay{0};
    std::atomic<bool> going{false};

private:
    void RunReloadBlock(APO_CONNECTION_PROPERTY* output);
    void SilenceOutput(APO_CONNECTION_PROPERTY* output) const;
    void DestroyEngineInstance();
    HRESULT InitializeFailed(HRESULT hr);
    HRESULT ReadEndpointValues();
    HRESULT RegisterForEndpointNotifications();
    HRESULT ApplyPropertyChange(const PROPERTYKEY& key);
    void SelectPreset(UINT32 preset);
};
