// Format negotiation. Placeholder until the negotiation work lands: every format is accepted
// unchanged.
#include "kovraapo.h"

static HRESULT AcceptAsRequested(IAudioMediaType* requested, IAudioMediaType** supported) {
    if (!requested || !supported) {
        return E_POINTER;
    }
    requested->AddRef();
    *supported = requested;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
KovraAPO::IsInputFormatSupported(IAudioMediaType*, IAudioMediaType* pRequestedInputFormat,
                                 IAudioMediaType** ppSupportedInputFormat) {
    return AcceptAsRequested(pRequestedInputFormat, ppSupportedInputFormat);
}

HRESULT STDMETHODCALLTYPE
KovraAPO::IsOutputFormatSupported(IAudioMediaType*, IAudioMediaType* pRequestedOutputFormat,
                                  IAudioMediaType** ppSupportedOutputFormat) {
    return AcceptAsRequested(pRequestedOutputFormat, ppSupportedOutputFormat);
}
