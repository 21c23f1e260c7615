#include "enhancements.h"

#include "controlplatform.h"
#include "endpointproperties.h"
#include "fxbackup.h"
#include "fxlayout.h"

#include <cstring>

namespace {

// PKEY_AudioEndpoint_Disable_SysFx, which mingw declares but its libraries do not define.
constexpr PROPERTYKEY kDisableSysFxKey = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 5};

bool StoredNonZero(const NamedValues& fxValues) {
    const auto stored = fxValues.find(kDisableSysFx);
    DWORD value = 0;
    if (stored != fxValues.end() && stored->second.type == REG_DWORD &&
        stored->second.data.size() == sizeof value) {
        std::memcpy(&value, stored->second.data.data(), sizeof value);
    }
    return value != 0;
}

} // namespace

const wchar_t kEnhancementsWarning[] =
    L"Warning: system effects are off for this endpoint: \"Disable all enhancements\" is ticked, "
    L"or Windows switched them off after an effect failed to load ten times in a row. Windows "
    L"loads no system effect on it, KovraAPO neither. Once the cause is fixed, kovractl "
    L"enable-effects ENDPOINT switches them back on.\n";

const wchar_t kEffectsStillOff[] =
    L"Note: system effects stay off for this endpoint (\"Disable all enhancements\", or Windows "
    L"after failed loads), the driver's own too; uninstall leaves that setting as it is. Once the "
    L"cause is fixed, kovractl enable-effects ENDPOINT switches them back on.\n";

bool EnhancementsDisabled(EndpointSource& endpoints, const std::wstring& endpointId,
                          const NamedValues& fxValues) {
    if (StoredNonZero(fxValues)) {
        return true;
    }
    ComPtr<IPropertyStore> store;
    if (FAILED(endpoints.OpenPropertyStore(endpointId, STGM_READ, store)) || !store) {
        return false;
    }
    return ReadPropertyKey(store.Get(), kDisableSysFxKey).EffectiveValue() != 0;
}

HRESULT SwitchSystemEffectsOn(EndpointSource& endpoints, const std::wstring& endpointId,
                              const std::wstring& endpointGuid, std::wstring& refused) {
    ComPtr<IPropertyStore> store;
    HRESULT result = endpoints.OpenPropertyStore(endpointId, STGM_READWRITE, store);
    if (SUCCEEDED(result) && !store) {
        result = E_POINTER;
    }
    if (SUCCEEDED(result) && ReadPropertyKey(store.Get(), kDisableSysFxKey).EffectiveValue()) {
        result = WritePropertyKey(store.Get(), kDisableSysFxKey, 0);
    }
    if (FAILED(result)) {
        refused = L"the endpoint's property store";
        return result;
    }
    const std::wstring fxPath = FxPropertiesPath(endpointGuid);
    RegistryKey key;
    NamedValues values;
    LSTATUS status =
        controlPlatform.openKey(HKEY_LOCAL_MACHINE, fxPath.c_str(), 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        return S_OK;
    }
    if (status == ERROR_SUCCESS) {
        status = ReadAllValues(key.Get(), values);
    }
    if (status == ERROR_SUCCESS && StoredNonZero(values)) {
        status = SetRawValue(key.Get(), kDisableSysFx, DwordValue(0));
    }
    if (status != ERROR_SUCCESS) {
        refused = L"HKLM\\" + fxPath;
    }
    return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}
