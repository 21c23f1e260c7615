// kovractl set: writes the effect's endpoint properties through the endpoint's property store,
// which makes the platform notify a running effect, and says what the effect makes of them.
#include "commands.h"
#include "endpointproperties.h"
#include "enhancements.h"
#include "fxinstall.h"
#include "resultdescription.h"

namespace {

// A write that failed after others were committed says which: they stay as written.
int WriteFailed(ConsoleText& text, const PropertyWrite& failed, HRESULT result,
                const std::wstring& alreadyWritten) {
    const std::wstring property = PropertyName(failed.property);
    std::wstring message =
        result == E_ACCESSDENIED
            ? L"the endpoint's property store refused writing " + property + L" (" +
                  DescribeResult(result) +
                  L"); run kovractl from an elevated command prompt (Run as administrator)"
            : L"cannot write " + property + L": " + DescribeResult(result);
    message += alreadyWritten.empty() ? L". Nothing was written."
                                      : L". Already written, and kept: " + alreadyWritten + L".";
    return Fail(text, result == E_ACCESSDENIED ? kExitRefused : kExitFailed, message);
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

// Whether the effect that the settings are for will run on the endpoint at all.
std::wstring EffectNotes(EndpointSource& endpoints, const ChosenEndpoint& chosen) {
    bool keyExists = false;
    NamedValues values;
    if (ReadFxValues(chosen.guid, keyExists, values) != ERROR_SUCCESS) {
        return L"";
    }
    std::wstring notes;
    if (!HoldsKovraAPO(values, StreamEffectValue(DetectLayout(keyExists, values)))) {
        notes += L"Note: KovraAPO is not installed on this endpoint yet (kovractl install).\n";
    }
    if (EnhancementsDisabled(endpoints, chosen.info.id, values)) {
        notes += kEnhancementsWarning;
    }
    return notes;
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
        return Fail(text, kExitRefused,
                    L"the endpoint's property store cannot be opened for writing (" +
                        DescribeResult(result) +
                        L"); run kovractl from an elevated command prompt (Run as administrator)");
    }
    if (FAILED(result) || !store) {
        return Fail(text, kExitFailed,
                    L"cannot open the endpoint's property store: " +
                        DescribeResult(FAILED(result) ? result : E_POINTER));
    }
    const PropertyReading enableBefore = ReadProperty(store.Get(), EndpointProperty::Enable);
    const PropertyReading modeBefore = ReadProperty(store.Get(), EndpointProperty::Mode);
    const std::vector<PropertyWrite> writes = PlanWrites(command.enable, command.mode);
    std::wstring alreadyWritten;
    for (const PropertyWrite& write : writes) {
        result = WriteProperty(store.Get(), write.property, write.value);
        if (FAILED(result)) {
            return WriteFailed(text, write, result, alreadyWritten);
        }
        const PropertyReading& before =
            write.property == EndpointProperty::Enable ? enableBefore : modeBefore;
        alreadyWritten += std::wstring(alreadyWritten.empty() ? L"" : L", ") +
                          PropertyName(write.property) + L" " + DescribeReading(before) + L" -> " +
                          std::to_wstring(write.value);
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
    text.out += EffectNotes(endpoints, chosen);
    return kExitDone;
}
