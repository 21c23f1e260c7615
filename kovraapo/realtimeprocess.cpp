// APOProcess: one block per period on the audio engine's real-time thread. Nothing here
// allocates, locks or logs, except the reload block, which reopens the engine instance between
// two blocks when the endpoint settings asked for another preset.
#include "kovraapo.h"

#include <algorithm>
#include <cstring>

#define RT_CODE __attribute__((section("RT_CODE")))

RT_CODE void STDMETHODCALLTYPE KovraAPO::APOProcess(UINT32,
                                                    APO_CONNECTION_PROPERTY** ppInputConnections,
                                                    UINT32,
                                                    APO_CONNECTION_PROPERTY** ppOutputConnections) {
    if (!ppInputConnections || !ppOutputConnections || !ppInputConnections[0] ||
        !ppOutputConnections[0]) {
        return;
    }
    APO_CONNECTION_PROPERTY* input = ppInputConnections[0];
    APO_CONNECTION_PROPERTY* output = ppOutputConnections[0];
    // Never more frames than the lock made room for: the audio engine never sends more, and a
    // caller that does gets that many processed, never a read or write past its buffers.
    const UINT32 frames = std::min(input->u32ValidFrameCount, maxFrameCount);

    switch (input->u32BufferFlags) {
    case BUFFER_VALID:
        blockFrameCount = frames;
        output->u32ValidFrameCount = frames;
        output->u32BufferFlags = input->u32BufferFlags;
        if (reloadPending.load(std::memory_order_acquire) != 0) {
            RunReloadBlock(output);
        } else if (const KovraHandle handle = engineHandle.load(std::memory_order_acquire)) {
            Kovra_processBlock(handle, reinterpret_cast<const float*>(input->pBuffer),
                               reinterpret_cast<float*>(output->pBuffer), blockFrameCount);
        } else {
            // No instance (none could be created): silence, never what the buffer held before.
            SilenceOutput(output);
        }
        break;
    case BUFFER_SILENT:
        // Silence passes as silence; a pending reload waits for a block that carries sound.
        output->u32ValidFrameCount = frames;
        output->u32BufferFlags = input->u32BufferFlags;
        break;
    default:
        break;
    }
}

RT_CODE void KovraAPO::RunReloadBlock(APO_CONNECTION_PROPERTY* output) {
    // The request is taken before the preset is read: one that arrives while this block reopens
    // the instance raises the flag again and is applied at the next valid block.
    reloadPending.exchange(0);
    // One read: the configuration opened and the filter loaded always agree.
    OpenEngineInstance(filterMode.Preset());
    SilenceOutput(output);
}

// The stereo output of the block, by the output's own channel count: the input may be wider.
RT_CODE void KovraAPO::SilenceOutput(APO_CONNECTION_PROPERTY* output) const {
    if (output->pBuffer) {
        const size_t bytes =
            static_cast<size_t>(output->u32ValidFrameCount) * outputChannels * sizeof(float);
        std::memset(reinterpret_cast<void*>(output->pBuffer), 0, bytes);
    }
}
