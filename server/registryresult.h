// Registry functions report Win32 codes; COM callers want HRESULTs.
#pragma once

#include "registrykey.h"

inline HRESULT RegistryResult(LSTATUS status) {
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}
