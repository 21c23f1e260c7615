// kovractl set: writes the effect's endpoint properties through the endpoint's property store,
// which makes the platform notify a running effect, and says what the effect makes of them.
#include "commands.h"
#include "endpointproperties.h"
#include "fxslots.h"
#include "resultdescription.h"

namespace {

int Refused(ConsoleText& text, HRESULT result) {
    return Fail(text, kExitRefused,
                L"the endpoint's property store refused writing (" + DescribeResult(result) +
                    L"); run kovractl from an elevated command prompt (Run as administrator)");
}

std::wstring ChangeLine(EndpointProperty property, const PropertyReading& before,
                        std::optional<UINT32> written) {
    std::wstring line = L"  " + std::wstring(PropertyName(property)) + L":";
    line.resize(10, L' ');
    if (!written) {
        return line + DescribeReading(before) + L" (unchanged)\n";
    }
    return line + DescribeReading(before) + L" -> " + std::to_wstring(*written) + L"\n";
}

std::wstring PlayingStreamLine(UINT32 enable, UINT32 mode, const PropertyReading& enableBefore,
                               const PropertyReading& modeBefore,
                               const std::vector<PropertyWrite>& writes) {
    const std::optional<UINT32> live = PresetSelectedWhilePlaying(
        enableBefore.EffectiveValue(), modeBefore.EffectiveValue(), writes);
    const std::optional<UINT32> atStart = PresetForPair(enable, mode);
    if (atStart && live == atStart) {
        return L"A playing stream switches to it now.\n";
    }
    if (atStart) {
        return L"A playing stream keeps its preset until the next stream start.\n";
    }
    if (live) {
        return L"On the way, a playing stream switched to preset " + std::to_wstring(*live) +
               L" and keeps it.\n";
    }
    return L"";
}

std::wstring InstallNote(const std::wstring& guid) {
    FxSlots slots;
    if (ReadFxSlots(guid, slots) != ERROR_SUCCESS || slots.HoldsKovraAPO(FxSlot::PreMix) ||
        slots.HoldsKovraAPO(FxSlot::Stream)) {
        return L"";
    }
    return L"Note: KovraAPO is not installed on this endpoint yet (kovractl install).\n";
}

} // namespace

int RunSet(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    ComPtr<IPropertyStore> store;
    HRESULT result = endpoints.OpenPropertyStore(chosen.info.id, STGM_READWRITE, store);
    if (result == E_ACCESSDENIED) {
        return Refused(text, result);
    }
    if (FAILED(result) || !store) {
        return Fail(text, kExitFailed,
                    L"cannot open the endpoint's property store: " +
                        DescribeResult(FAILED(result) ? result : E_POINTER));
    }
    const PropertyReading enableBefore = ReadProperty(store.Get(), EndpointProperty::Enable);
    const PropertyReading modeBefore = ReadProperty(store.Get(), EndpointProperty::Mode);
    const std::vector<PropertyWrite> writes = PlanWrites(command.enable, command.mode);
    for (const PropertyWrite& write : writes) {
        result = WriteProperty(store.Get(), write.property, write.value);
        if (result == E_ACCESSDENIED) {
            return Refused(text, result);
        }
        if (FAILED(result)) {
            return Fail(text, kExitFailed,
                        std::wstring(L"cannot write ") + PropertyName(write.property) + L": " +
                            DescribeResult(result));
        }
    }
    const UINT32 enable = command.enable.value_or(enableBefore.EffectiveValue());
    const UINT32 mode = command.mode.value_or(modeBefore.EffectiveValue());
    text.out += EndpointLine(chosen.info) + L"\n";
    text.out += ChangeLine(EndpointProperty::Enable, enableBefore, command.enable);
    text.out += ChangeLine(EndpointProperty::Mode, modeBefore, command.mode);
    text.out += L"With enable " + std::to_wstring(enable) + L" and mode " + std::to_wstring(mode) +
                L" the effect runs " + DescribePair(enable, mode) + L".\n";
    if (PresetForPair(enable, mode)) {
        text.out += L"(N is the stream's input channel count: 2, 6 or 8.)\n";
    }
    text.out += PlayingStreamLine(enable, mode, enableBefore, modeBefore, writes);
    text.out += InstallNote(chosen.guid);
    return kExitDone;
}
