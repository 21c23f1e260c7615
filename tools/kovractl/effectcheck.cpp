#include "effectcheck.h"

#include "comptr.h"
#include "fxlayout.h"
#include "kovraids.h"
#include "registeredserver.h"
#include "resultdescription.h"

#include <objbase.h>
#include <winver.h>

#include <vector>

namespace {

constexpr wchar_t kRegisterHint[] = L"register it with regsvr32 KovraAPO.dll";
constexpr wchar_t kEngineLibrary[] = L"KovraAPI_SHARED.dll";

bool ClassesKeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The engine library is found beside the module, or in the system folder; the audio engine's
// process has no other folder of ours to search.
bool EngineLibraryReachable(const std::wstring& module) {
    const std::wstring folder = module.substr(0, module.find_last_of(L"\\/") + 1);
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    for (const std::wstring& candidate :
         {folder + kEngineLibrary, std::wstring(system, length) + L"\\" + kEngineLibrary}) {
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
    }
    return false;
}

// "1.0.0.0" from the file's version resource; empty without one.
std::wstring FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    std::vector<BYTE> resource(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (resource.empty() ||
        !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(resource.size()),
                             resource.data()) ||
        !VerQueryValueW(resource.data(), L"\\", reinterpret_cast<void**>(&info), &size) || !info ||
        size < sizeof *info) {
        return L"";
    }
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionLS));
}

} // namespace

std::wstring EffectLoadProblem() {
    const std::wstring engineEntry = L"AudioEngine\\AudioProcessingObjects\\" + KovraClsidText();
    if (!ClassesKeyExists(engineEntry)) {
        return L"the audio engine's entry HKCR\\" + engineEntry + L" is missing: " + kRegisterHint;
    }
    const std::wstring module = RegisteredServerPath(CLSID_KovraAPO);
    if (module.empty()) {
        return L"its COM class " + KovraClsidText() + L" is not registered: " + kRegisterHint;
    }
    if (GetFileAttributesW(module.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return module + L", which its COM registration names, does not exist: " + kRegisterHint +
               L" from where it lies now";
    }
    // Checked by name first: this program's own folder may hold the library and let COM load
    // the module here, where the audio engine could not.
    if (!EngineLibraryReachable(module)) {
        return std::wstring(kEngineLibrary) + L" must lie beside " + module;
    }
    ComPtr<IUnknown> effect;
    const HRESULT result =
        CoCreateInstance(CLSID_KovraAPO, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                         reinterpret_cast<void**>(effect.Receive()));
    if (FAILED(result) || !effect) {
        return module + L" cannot be loaded: " +
               DescribeResult(FAILED(result) ? result : E_POINTER);
    }
    return L"";
}

std::wstring DescribeRegisteredEffect() {
    const std::wstring module = RegisteredServerPath(CLSID_KovraAPO);
    if (module.empty()) {
        return L"not registered (regsvr32 KovraAPO.dll)";
    }
    const std::wstring version = FileVersionOf(module);
    return module + (version.empty() ? L" (no version resource)" : L", version " + version);
}
