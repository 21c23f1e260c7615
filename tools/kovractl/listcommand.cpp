// kovractl list: every render endpoint with its FX values and their layout, whether Windows loads
// KovraAPO there, and the effect's two endpoint properties.
#include "commands.h"
#include "effectcheck.h"
#include "endpointproperties.h"
#include "endpointselection.h"
#include "enhancements.h"
#include "fxbackup.h"
#include "fxinstall.h"
#include "resultdescription.h"
#include "signing.h"

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

// The value's strings, KovraAPO and the default processing mode named.
std::wstring AnnotatedValue(const RawValue& value) {
    const std::vector<std::wstring> texts = TextsOf(value);
    if (texts.empty()) {
        return DescribeRawValue(value);
    }
    std::wstring joined;
    for (const std::wstring& text : texts) {
        joined += (joined.empty() ? L"" : L", ") + text;
        if (_wcsicmp(text.c_str(), KovraClsidText().c_str()) == 0) {
            joined += L" (KovraAPO)";
        } else if (_wcsicmp(text.c_str(), kDefaultProcessingMode) == 0) {
            joined += L" (default mode)";
        }
    }
    return joined;
}

std::wstring ValueLines(const NamedValues& values) {
    std::wstring lines;
    for (const auto& [name, value] : values) {
        const std::wstring meaning = MeaningOf(name);
        lines += L"    " + name + L"  " + (meaning.empty() ? L"not known to kovractl" : meaning) +
                 L": " + AnnotatedValue(value) + L"\n";
    }
    return lines;
}

std::wstring InstalledText(const std::wstring& guid, FxLayout layout, const NamedValues& values) {
    const std::wstring stream = StreamEffectValue(layout);
    if (HoldsKovraAPO(values, stream)) {
        return L"installed: " + MeaningOf(stream) + L" " + stream;
    }
    std::wstring ignored;
    for (const auto& [name, value] : values) {
        if (KindOf(name) != FxValueKind::Setting && !IsOffloadValue(name) && HoldsKovraAPO(value)) {
            ignored += (ignored.empty() ? L"" : L", ") + name;
        }
    }
    if (!ignored.empty()) {
        return L"not loaded: named in " + ignored + L", which Windows does not read on this layout";
    }
    FxBackup backup;
    if (ReadBackup(guid, values, backup) == ERROR_SUCCESS && backup.exists) {
        return L"not installed: another program (a driver update, as a rule) wrote the endpoint's "
               L"effects since the install; kovractl install puts KovraAPO back, kovractl "
               L"uninstall settles what the install left";
    }
    return L"not installed";
}

// Streams the driver offloads to hardware are processed by the effects of the offload values
// alone, which kovractl never writes.
std::wstring OffloadField(const NamedValues& values) {
    std::wstring offload;
    for (const auto& [name, value] : values) {
        if (IsOffloadValue(name)) {
            offload += (offload.empty() ? L"" : L", ") + name;
        }
    }
    return offload.empty() ? L""
                           : Field(L"offload:", L"offload effects in " + offload +
                                                    L": streams the driver offloads to hardware "
                                                    L"do not pass through KovraAPO");
}

std::wstring EffectFields(EndpointSource& endpoints, const EndpointInfo& endpoint) {
    std::wstring guid;
    if (!EndpointGuidOf(endpoint.id, guid)) {
        return Field(L"effects:", L"unknown (the id has no GUID)");
    }
    bool keyExists = false;
    NamedValues values;
    const LSTATUS status = ReadFxValues(guid, keyExists, values);
    if (status != ERROR_SUCCESS) {
        return Field(L"effects:", L"unreadable: " + DescribeResult(HRESULT_FROM_WIN32(status)));
    }
    const FxLayout layout = DetectLayout(keyExists, values);
    const std::wstring disabled =
        L"DISABLED: \"Disable all enhancements\" is ticked, or Windows switched the system "
        L"effects off after one failed to load ten times in a row; no system effect loads here, "
        L"the driver's own and KovraAPO neither. Once the cause is fixed: kovractl "
        L"enable-effects \"" +
        endpoint.id + L"\"";
    return Field(L"FX layout:", DescribeLayout(layout)) + ValueLines(values) +
           Field(L"KovraAPO:", InstalledText(guid, layout, values)) + OffloadField(values) +
           Field(L"enhancements:",
                 EnhancementsDisabled(endpoints, endpoint.id, values) ? disabled : L"on");
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
    text.out += L"Registered: " + DescribeRegisteredEffect() + L"\n";
    text.out += L"Signing: " + DescribeSigning() + L"\n";
    for (const EndpointInfo& endpoint : listed) {
        text.out += L"\n" + EndpointTitle(endpoint) + L"\n";
        text.out += Field(L"id:", endpoint.id) + Field(L"state:", StateName(endpoint.state));
        text.out += EffectFields(endpoints, endpoint) + PropertyFields(endpoints, endpoint);
    }
    return kExitDone;
}
