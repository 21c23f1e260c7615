#include "signing.h"

#include "registrykey.h"
#include "registryvalue.h"

#include <windows.h>

#include <cwctype>

namespace {

constexpr wchar_t kAudioKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Audio";
constexpr wchar_t kBootOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control";

std::optional<RawValue> MachineValue(const wchar_t* path, const wchar_t* name) {
    RegistryKey key;
    std::optional<RawValue> value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      key.Receive()) == ERROR_SUCCESS) {
        ReadRawValue(key.Get(), name, value);
    }
    return value;
}

bool ProtectedAudioEngineOff() {
    const std::optional<RawValue> value = MachineValue(kAudioKey, L"DisableProtectedAudioDG");
    return value && value->type == REG_DWORD &&
           value->data != std::vector<BYTE>(value->data.size(), 0);
}

// The options Windows started with, as the boot loader hands them on ("... TESTSIGNING ...").
bool TestSigningOn() {
    const std::optional<RawValue> value = MachineValue(kBootOptionsKey, L"SystemStartOptions");
    for (std::wstring options : value ? TextsOf(*value) : std::vector<std::wstring>{}) {
        for (wchar_t& character : options) {
            character = static_cast<wchar_t>(std::towupper(character));
        }
        if (options.find(L"TESTSIGNING") != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

std::wstring DescribeSigning() {
    if (ProtectedAudioEngineOff()) {
        return L"DisableProtectedAudioDG is 1: the audio engine loads KovraAPO unsigned too (for "
               L"development; set it back to 0 once a signed release is installed)";
    }
    if (TestSigningOn()) {
        return L"test signing is on: the audio engine loads a test-signed KovraAPO.dll, an "
               L"unsigned one not";
    }
    return L"only signed effects load: the audio engine loads KovraAPO.dll once it carries a "
           L"release signature (a signed driver package); for development turn on test signing "
           L"or DisableProtectedAudioDG (INSTALL.txt, \"Signing\")";
}

std::wstring SigningNote() {
    return L"Signing: " + DescribeSigning() + L".\n";
}
