// Default-format correction. Placeholder until the negotiation work lands.
#include "baseaudioprocessingobject.h"

HRESULT CBaseAudioProcessingObject::CorrectDefaultFormat(UNCOMPRESSEDAUDIOFORMAT* pFormat) {
    return pFormat ? S_OK : E_POINTER;
}
