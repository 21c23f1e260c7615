// The generic part of an audio processing object: the module's registration record, the
// initialised and locked states, the connection format a lock fixes, and the validation of the
// connections the audio engine offers at LockForProcess. An effect derives from it, supplies
// its COM identity and overrides what is effect-specific.
#pragma once

#include "apocontract.h"
#include "criticalsection.h"

#include <atomic>

class CBaseAudioProcessingObject : public IAudioProcessingObject,
                                   public IAudioProcessingObjectRT,
                                   public IAudioProcessingObjectConfiguration {
public:
    explicit CBaseAudioProcessingObject(const APO_REG_PROPERTIES* registration);
    CBaseAudioProcessingObject(const CBaseAudioProcessingObject&) = delete;
    CBaseAudioProcessingObject& operator=(const CBaseAudioProcessingObject&) = delete;

    // IAudioProcessingObject: the parts that need no knowledge of the effect.
    HRESULT STDMETHODCALLTYPE GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) override;
    HRESULT STDMETHODCALLTYPE GetInputChannelCount(UINT32* pu32ChannelCount) override;

    // IAudioProcessingObjectRT: the base neither adds nor drops frames.
    UINT32 STDMETHODCALLTYPE CalcInputFrames(UINT32 u32OutputFrameCount) override;
    UINT32 STDMETHODCALLTYPE CalcOutputFrames(UINT32 u32InputFrameCount) override;

    // IAudioProcessingObjectConfiguration
    HRESULT STDMETHODCALLTYPE LockForProcess(
        UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
        UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) override;
    HRESULT STDMETHODCALLTYPE UnlockForProcess() override;

    virtual ~CBaseAudioProcessingObject();

    // Last step of a lock, once every connection passed validation; a success code locks.
    virtual HRESULT AcceptConnections(UINT32 u32NumInputConnections,
                                      APO_CONNECTION_DESCRIPTOR** ppInputConnections,
                                      UINT32 u32NumOutputConnections,
                                      APO_CONNECTION_DESCRIPTOR** ppOutputConnections) = 0;

    // Moves a proposed default format into what the object can process: S_OK when nothing
    // had to change, S_FALSE when a field was corrected.
    virtual HRESULT CorrectDefaultFormat(UNCOMPRESSEDAUDIOFORMAT* pFormat);

protected:
    bool IsLocked() const { return isLocked.load(std::memory_order_acquire); }
    bool IsInitialized() const { return isInitialized.load(std::memory_order_acquire); }
    void MarkInitialized() { isInitialized.store(true, std::memory_order_release); }

    std::atomic<bool> isLocked{false};
    std::atomic<bool> isInitialized{false};
    const APO_REG_PROPERTIES* const regProperties;
    CriticalSection stateLock;
    UINT32 samplesPerFrame = 0;
    UINT32 bytesPerContainer = 0;
    UINT32 validBitsPerSample = 0;
    FLOAT framesPerSecond = 0.0f;

private:
    HRESULT ValidateConnections(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs,
                                UINT32 outputCount, APO_CONNECTION_DESCRIPTOR** outputs);
    HRESULT CacheReferenceFormat(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs,
                                 UINT32 outputCount, APO_CONNECTION_DESCRIPTOR** outputs);
    HRESULT CheckPairwiseAcceptance(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs,
                                    UINT32 outputCount, APO_CONNECTION_DESCRIPTOR** outputs);
    HRESULT CheckDescriptors(UINT32 count, APO_CONNECTION_DESCRIPTOR** descriptors);
    bool CheckCachedFormat(const UNCOMPRESSEDAUDIOFORMAT& format) const;
    bool HasFlag(APO_FLAG flag) const { return (regProperties->Flags & flag) != 0; }
};

// True when a non-null input buffer's span overlaps a non-null output buffer's span. A span is
// u32MaxFrameCount x container bytes x channels long; a descriptor whose format cannot be read
// ends the check with no overlap reported.
bool BuffersOverlap(UINT32 inputCount, APO_CONNECTION_DESCRIPTOR** inputs, UINT32 outputCount,
                    APO_CONNECTION_DESCRIPTOR** outputs);
