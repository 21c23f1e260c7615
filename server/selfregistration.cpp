// DllRegisterServer and DllUnregisterServer: the audio engine's entry and the COM class entry,
// written and removed together.
#include "aporegistration.h"
#include "classregistration.h"
#include "kovraids.h"
#include "modulestate.h"
#include "serverexports.h"

namespace {

constexpr DWORD kModulePathCapacity = 1024;

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

} // namespace

STDAPI DllRegisterServer() {
    wchar_t modulePath[kModulePathCapacity];
    const DWORD length = GetModuleFileNameW(moduleHandle, modulePath, kModulePathCapacity);
    if (length == 0) {
        return LastErrorResult();
    }
    if (length >= kModulePathCapacity) {
        // A cut path would register a module that does not exist.
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    HRESULT result = WriteAPORegistration(registrationProperties);
    if (SUCCEEDED(result)) {
        ClassKeyPaths paths;
        result = FormClassKeyPaths(CLSID_KovraAPO, paths);
        if (SUCCEEDED(result)) {
            result = WriteClassRegistration(paths, modulePath);
        }
    }
    if (FAILED(result)) {
        // An audio engine entry for a class COM cannot create would break the endpoint's graph.
        DeleteAPORegistration(registrationProperties.clsid);
    }
    return result;
}

STDAPI DllUnregisterServer() {
    ClassKeyPaths paths;
    const HRESULT formed = FormClassKeyPaths(CLSID_KovraAPO, paths);
    if (FAILED(formed)) {
        return formed;
    }
    DeleteClassRegistration(paths);
    return DeleteAPORegistration(CLSID_KovraAPO);
}
