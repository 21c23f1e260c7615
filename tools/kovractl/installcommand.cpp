// kovractl install and uninstall: KovraAPO into the endpoint's system-effect slots and out
// again, with what it replaced saved and put back.
#include "commands.h"
#include "fxslots.h"
#include "resultdescription.h"

namespace {

constexpr wchar_t kEngineEntry[] = L"AudioEngine\\AudioProcessingObjects\\";

std::wstring SlotLine(FxSlot slot, const std::wstring& what) {
    std::wstring line = L"  " + std::wstring(FxSlotName(slot)) + L" slot:";
    line.resize(17, L' ');
    return line + what + L"\n";
}

// The refusals and failures both commands share; kExitDone for an outcome that is none.
int ReportTrouble(const FxOutcome& outcome, const wchar_t* commandName, ConsoleText& text) {
    const std::wstring key = L"HKLM\\" + outcome.keyPath;
    switch (outcome.change) {
    case FxChange::NotElevated:
        return Fail(text, kExitRefused,
                    std::wstring(commandName) +
                        L" needs administrator rights: run kovractl from an elevated command "
                        L"prompt (Run as administrator)");
    case FxChange::AccessDenied:
        return Fail(text, kExitRefused,
                    key + L" is not writable (access denied). Windows keeps the endpoint's "
                          L"keys for itself: take ownership of the key and give Administrators "
                          L"full control (README, \"Install on Windows\"), then run kovractl "
                          L"again");
    case FxChange::NoEndpointKey:
        return Fail(text, kExitFailed, L"the endpoint has no registry key " + key);
    case FxChange::Failed:
        return Fail(text, kExitFailed,
                    L"cannot change " + key + L": " +
                        DescribeResult(HRESULT_FROM_WIN32(static_cast<DWORD>(outcome.status))));
    default:
        return kExitDone;
    }
}

bool EffectRegistered() {
    HKEY key = nullptr;
    const std::wstring path = kEngineEntry + KovraClsidText();
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring InstalledSlots(const FxOutcome& outcome) {
    std::wstring lines;
    for (FxSlot slot : kFxSlots) {
        const size_t index = static_cast<size_t>(slot);
        const std::optional<RawValue>& before = outcome.slotValues[index];
        lines += SlotLine(slot, !outcome.slotChanged[index] ? L"already KovraAPO"
                                : before ? L"replaces " + DescribeRawValue(*before)
                                         : std::wstring(L"was empty"));
    }
    return lines;
}

std::wstring RestoredSlots(const FxOutcome& outcome) {
    std::wstring lines;
    for (FxSlot slot : kFxSlots) {
        const size_t index = static_cast<size_t>(slot);
        const std::optional<RawValue>& now = outcome.slotValues[index];
        lines += SlotLine(slot, !outcome.slotChanged[index] ? L"not KovraAPO, left as it is"
                                : now                       ? L"restored " + DescribeRawValue(*now)
                                                            : std::wstring(L"empty again"));
    }
    return lines;
}

} // namespace

int RunInstall(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    const FxOutcome outcome = InstallEffect(chosen.guid);
    if (const int trouble = ReportTrouble(outcome, L"install", text)) {
        return trouble;
    }
    if (outcome.change == FxChange::AlreadyInstalled) {
        text.out += L"KovraAPO is already installed on " + EndpointLine(chosen.info) +
                    L"; nothing changed.\n";
        return kExitDone;
    }
    text.out +=
        L"KovraAPO installed on " + EndpointLine(chosen.info) + L"\n" + InstalledSlots(outcome);
    text.out += L"What it replaced is saved under HKLM\\" + ReplacedEffectsPath(chosen.guid) +
                L"; kovractl uninstall puts it back.\n"
                L"Restart the Windows Audio service (or disable and enable the endpoint) so "
                L"that the audio engine loads the effect.\n";
    if (!EffectRegistered()) {
        text.out += L"Note: KovraAPO.dll is not registered yet (regsvr32 KovraAPO.dll); the "
                    L"audio engine cannot load it until it is.\n";
    }
    return kExitDone;
}

int RunUninstall(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    const FxOutcome outcome = UninstallEffect(chosen.guid);
    if (const int trouble = ReportTrouble(outcome, L"uninstall", text)) {
        return trouble;
    }
    if (outcome.change == FxChange::NotInstalled) {
        text.out +=
            L"KovraAPO is not installed on " + EndpointLine(chosen.info) + L"; nothing changed.\n";
        return kExitDone;
    }
    text.out +=
        L"KovraAPO removed from " + EndpointLine(chosen.info) + L"\n" + RestoredSlots(outcome);
    return kExitDone;
}
