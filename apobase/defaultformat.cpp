// Default-format correction: moves a proposed default format into what the audio engine's own
// float pipeline processes, field by field, and reports whether anything had to move.
#include "baseaudioprocessingobject.h"

#include "audiomediatype.h"

namespace {

template <typename Field> void Correct(Field& field, Field value, bool& changed) {
    field = value;
    changed = true;
}

} // namespace

HRESULT CBaseAudioProcessingObject::CorrectDefaultFormat(UNCOMPRESSEDAUDIOFORMAT* pFormat) {
    if (!pFormat) {
        return E_POINTER;
    }
    bool changed = false;
    const GUID floatSubFormat = SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT);
    if (pFormat->guidFormatType != floatSubFormat) {
        Correct(pFormat->guidFormatType, floatSubFormat, changed);
    }
    if (pFormat->dwSamplesPerFrame < AUDIO_MIN_CHANNELS) {
        Correct<DWORD>(pFormat->dwSamplesPerFrame, AUDIO_MIN_CHANNELS, changed);
    }
    if (pFormat->dwSamplesPerFrame > AUDIO_MAX_CHANNELS) {
        Correct<DWORD>(pFormat->dwSamplesPerFrame, AUDIO_MAX_CHANNELS, changed);
    }
    if (pFormat->dwBytesPerSampleContainer != sizeof(float)) {
        Correct<DWORD>(pFormat->dwBytesPerSampleContainer, sizeof(float), changed);
    }
    if (pFormat->dwValidBitsPerSample != 32) {
        Correct<DWORD>(pFormat->dwValidBitsPerSample, 32, changed);
    }
    // Comparisons with a NaN are false, so a NaN rate is left as it is.
    if (pFormat->fFramesPerSecond < AUDIO_MIN_FRAMERATE) {
        Correct<FLOAT>(pFormat->fFramesPerSecond, AUDIO_MIN_FRAMERATE, changed);
    }
    if (pFormat->fFramesPerSecond > AUDIO_MAX_FRAMERATE) {
        Correct<FLOAT>(pFormat->fFramesPerSecond, AUDIO_MAX_FRAMERATE, changed);
    }
    return changed ? S_FALSE : S_OK;
}
