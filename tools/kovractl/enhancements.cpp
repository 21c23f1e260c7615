#include "enhancements.h"

#include "endpointproperties.h"
#include "fxlayout.h"

#include <cstring>

namespace {

// PKEY_AudioEndpoint_Disable_SysFx, which mingw declares but its libraries do not define.
constexpr PROPERTYKEY kDisableSysFxKey = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 5};

} // namespace

const wchar_t kEnhancementsWarning[] =
    L"Warning: \"Disable all enhancements\" is ticked for this endpoint: Windows loads no system "
    L"effect on it, KovraAPO neither. Untick it in the Sound control panel (the endpoint's "
    L"Properties, Enhancements or Advanced).\n";

bool EnhancementsDisabled(EndpointSource& endpoints, const std::wstring& endpointId,
                          const NamedValues& fxValues) {
    const auto stored = fxValues.find(kDisableSysFx);
    if (stored != fxValues.end() && stored->second.type == REG_DWORD &&
        stored->second.data.size() == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, stored->second.data.data(), sizeof value);
        if (value != 0) {
            return true;
        }
    }
    ComPtr<IPropertyStore> store;
    if (FAILED(endpoints.OpenPropertyStore(endpointId, STGM_READ, store)) || !store) {
        return false;
    }
    return ReadPropertyKey(store.Get(), kDisableSysFxKey).EffectiveValue() != 0;
}
