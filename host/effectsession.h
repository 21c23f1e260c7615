// The effect as the audio engine holds it: created through COM by its CLSID, never linked, and
// taken through Initialize, LockForProcess, UnlockForProcess and the final Release.
#pragma once

#include "apocontract.h"
#include "comptr.h"
#include "processingloop.h"

#include <mmdeviceapi.h>

#include <string>

class EffectSession {
public:
    // CoCreateInstance of CLSID_KovraAPO and the interfaces the engine uses.
    HRESULT Create();
    HRESULT Initialize(IPropertyStore* endpointStore, IPropertyStore* effectsStore);
    HRESULT Lock(StreamBuffers& buffers, const UNCOMPRESSEDAUDIOFORMAT& input,
                 const UNCOMPRESSEDAUDIOFORMAT& output);
    HRESULT GetLatency(HNSTIME& latency);
    HRESULT Unlock();
    // Drops every reference the host holds, then asks the module whether it could unload now.
    std::string ReleaseAndAskUnload();

    IAudioProcessingObject* Processing() const { return processing.Get(); }
    IAudioProcessingObjectRT* RealTime() const { return realTime.Get(); }
    IMMNotificationClient* Notifications() const { return notifications.Get(); }

private:
    ComPtr<IAudioProcessingObject> processing;
    ComPtr<IAudioProcessingObjectRT> realTime;
    ComPtr<IAudioProcessingObjectConfiguration> configuration;
    ComPtr<IMMNotificationClient> notifications;
    ComPtr<IAudioMediaType> inputType;
    ComPtr<IAudioMediaType> outputType;
    bool locked = false;
};

// The CLSID in registry form, "{FAF1CE67-...}".
std::wstring EffectClsidText();
