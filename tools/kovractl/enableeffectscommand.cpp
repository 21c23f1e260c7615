// kovractl enable-effects: switches an endpoint's system effects back on once the user has fixed
// what made Windows switch them off (an effect that failed to load ten times in a row), or to
// untick "Disable all enhancements". No other command changes that setting.
#include "commands.h"
#include "controlplatform.h"
#include "effectcheck.h"
#include "enhancements.h"
#include "fxinstall.h"
#include "resultdescription.h"

int RunEnableEffects(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    if (!controlPlatform.processIsElevated()) {
        return NotElevated(text, L"enable-effects");
    }
    bool keyExists = false;
    NamedValues values;
    const LSTATUS status = ReadFxValues(chosen.guid, keyExists, values);
    if (status != ERROR_SUCCESS) {
        return Fail(text, kExitFailed,
                    L"cannot read the endpoint's effects: " +
                        DescribeResult(HRESULT_FROM_WIN32(static_cast<DWORD>(status))));
    }
    const std::wstring name = EndpointLine(chosen.info);
    if (!EnhancementsDisabled(endpoints, chosen.info.id, values)) {
        text.out += L"System effects are on for " + name + L"; nothing changed.\n";
        return kExitDone;
    }
    std::wstring refused;
    const HRESULT result = SwitchSystemEffectsOn(endpoints, chosen.info.id, chosen.guid, refused);
    if (FAILED(result)) {
        return Fail(text, result == E_ACCESSDENIED ? kExitRefused : kExitFailed,
                    refused + L" refused switching the system effects back on: " +
                        DescribeResult(result) + L".");
    }
    text.out += L"System effects switched back on for " + name +
                L" (\"Disable all enhancements\" unticked).\n" + kRestartAdvice;
    const std::wstring loadProblem = EffectLoadProblem();
    if (HoldsKovraAPO(values, StreamEffectValue(DetectLayout(keyExists, values))) &&
        !loadProblem.empty()) {
        text.out += L"Warning: the audio engine cannot load KovraAPO yet (" + loadProblem +
                    L"); after ten more failed loads Windows switches the effects off again.\n";
    }
    return kExitDone;
}
