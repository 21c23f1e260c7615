// The registered effect as the audio engine holds it for one stream: created through COM by its
// CLSID, initialised with an endpoint property store whose two properties select a preset,
// offered the stream's formats and locked. The stream is unlocked and released with the object.
#pragma once

#include "effectsession.h"
#include "memorypropertystore.h"
#include "processingloop.h"

#include <string>

class EffectStream {
public:
    EffectStream() = default;
    ~EffectStream();
    EffectStream(const EffectStream&) = delete;
    EffectStream& operator=(const EffectStream&) = delete;

    // `buffers` must stay in place while the stream is open: the lock hands them to the effect.
    bool Open(uint32_t preset, uint32_t sampleRate, StreamBuffers& buffers, std::string& error);

    // The engine's side of one period: the records are set (untimed), then APOProcess (timed).
    void Before(uint32_t frames);
    void Run(uint32_t) { effect.RealTime()->APOProcess(1, inputs, 1, outputs); }
    // What the platform does when the endpoint's preset property is set again to its value: the
    // effect hears of it through OnPropertyValueChanged and reopens its engine instance with the
    // same preset at the next valid block, a reload block.
    bool RequestReload(uint32_t preset, std::string& error);
    // The effect's GetLatency, in frames at the stream's rate.
    bool LatencyFrames(uint32_t sampleRate, uint32_t& frames, std::string& error);
    // True while every period came back whole and flagged valid.
    bool AllBlocksValid() const { return allValid; }
    void CheckAnswer(uint32_t frames);

private:
    EffectSession effect;
    ComPtr<MemoryPropertyStore> endpointStore;
    ComPtr<MemoryPropertyStore> effectsStore;
    APO_CONNECTION_PROPERTY input{};
    APO_CONNECTION_PROPERTY output{};
    APO_CONNECTION_PROPERTY* inputs[1] = {&input};
    APO_CONNECTION_PROPERTY* outputs[1] = {&output};
    bool allValid = true;
};
