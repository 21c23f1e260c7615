// kovractl list: every render endpoint with its system-effect slots and the effect's two
// endpoint properties.
#include "commands.h"
#include "endpointproperties.h"
#include "endpointselection.h"
#include "fxslots.h"
#include "resultdescription.h"

#include <mmdeviceapi.h>

namespace {

std::wstring Field(const wchar_t* label, const std::wstring& value) {
    std::wstring line = L"  ";
    line += label;
    line.resize(20, L' ');
    return line + value + L"\n";
}

std::wstring StateName(DWORD state) {
    switch (state) {
    case DEVICE_STATE_ACTIVE:
        return L"active";
    case DEVICE_STATE_DISABLED:
        return L"disabled";
    case DEVICE_STATE_NOTPRESENT:
        return L"not present";
    case DEVICE_STATE_UNPLUGGED:
        return L"unplugged";
    }
    return L"state " + std::to_wstring(state);
}

std::wstring SlotText(const FxSlots& slots, FxSlot slot) {
    if (!slots.keyExists) {
        return L"none (no FxProperties key)";
    }
    if (!slots[slot]) {
        return L"none";
    }
    return DescribeRawValue(*slots[slot]) + (slots.HoldsKovraAPO(slot) ? L" (KovraAPO)" : L"");
}

std::wstring InstalledText(const FxSlots& slots) {
    const bool preMix = slots.HoldsKovraAPO(FxSlot::PreMix);
    const bool stream = slots.HoldsKovraAPO(FxSlot::Stream);
    if (preMix && stream) {
        return L"installed (pre-mix and stream slots)";
    }
    if (preMix || stream) {
        return preMix ? L"installed (pre-mix slot only)" : L"installed (stream slot only)";
    }
    return L"not installed";
}

std::wstring EffectSlotFields(const EndpointInfo& endpoint) {
    std::wstring guid;
    if (!EndpointGuidOf(endpoint.id, guid)) {
        return Field(L"effects:", L"unknown (the id has no GUID)");
    }
    FxSlots slots;
    const LSTATUS status = ReadFxSlots(guid, slots);
    if (status != ERROR_SUCCESS) {
        return Field(L"effects:", L"unreadable: " + DescribeResult(HRESULT_FROM_WIN32(status)));
    }
    return Field(L"pre-mix effect:", SlotText(slots, FxSlot::PreMix)) +
           Field(L"stream effect:", SlotText(slots, FxSlot::Stream)) +
           Field(L"KovraAPO:", InstalledText(slots));
}

std::wstring PropertyFields(EndpointSource& endpoints, const EndpointInfo& endpoint) {
    ComPtr<IPropertyStore> store;
    const HRESULT opened = endpoints.OpenPropertyStore(endpoint.id, STGM_READ, store);
    if (FAILED(opened) || !store) {
        return Field(L"properties:",
                     L"unreadable: " + DescribeResult(FAILED(opened) ? opened : E_POINTER));
    }
    const PropertyReading enable = ReadProperty(store.Get(), EndpointProperty::Enable);
    const PropertyReading mode = ReadProperty(store.Get(), EndpointProperty::Mode);
    return Field(L"enable:", DescribeReading(enable)) + Field(L"mode:", DescribeReading(mode)) +
           Field(L"effect runs:", DescribePair(enable.EffectiveValue(), mode.EffectiveValue()));
}

} // namespace

int RunList(EndpointSource& endpoints, ConsoleText& text) {
    std::vector<EndpointInfo> listed;
    const HRESULT result = endpoints.ListRenderEndpoints(listed);
    if (FAILED(result)) {
        return Fail(text, kExitFailed,
                    L"cannot list the render endpoints: " + DescribeResult(result));
    }
    text.out += std::to_wstring(listed.size()) +
                (listed.size() == 1 ? L" render endpoint" : L" render endpoints") +
                L"; KovraAPO is " + KovraClsidText() + L"\n";
    for (const EndpointInfo& endpoint : listed) {
        text.out += L"\n" + EndpointTitle(endpoint) + L"\n";
        text.out += Field(L"id:", endpoint.id) + Field(L"state:", StateName(endpoint.state));
        text.out += EffectSlotFields(endpoint) + PropertyFields(endpoints, endpoint);
    }
    return kExitDone;
}
