// kovractl install and uninstall: KovraAPO into the endpoint's effects where its layout makes
// Windows load it, and out again, with what it replaced recorded and put back.
#include "commands.h"
#include "controlplatform.h"
#include "effectcheck.h"
#include "enhancements.h"
#include "fxbackup.h"
#include "fxinstall.h"
#include "resultdescription.h"
#include "signing.h"

namespace {

using How = FxValueChange::How;

std::wstring Described(const std::optional<RawValue>& value) {
    return value ? DescribeRawValue(*value) : L"(absent)";
}

std::wstring ValueLine(const FxValueChange& change) {
    const std::wstring meaning = MeaningOf(change.name);
    std::wstring line = L"  " + change.name + L"  " + (meaning.empty() ? L"value" : meaning) +
                        L": " + Described(change.before);
    switch (change.how) {
    case How::TakenSince:
        return line + L" (written since the install by another program; left to it)\n";
    case How::AlreadyBack:
        return line + L" (already as before the install)\n";
    default:
        break;
    }
    line += L" -> " + Described(change.after);
    switch (change.how) {
    case How::Restored:
    case How::Emptied:
        return line + L" (as before the install)\n";
    case How::KovraRemoved:
        return line + L" (KovraAPO taken out; the list changed since the install)\n";
    case How::ForcedOut:
        return line + L" (KovraAPO taken out; no backup says what it held before)\n";
    default:
        return line + L"\n";
    }
}

std::wstring ValueLines(const FxOutcome& outcome) {
    std::wstring lines;
    for (const FxValueChange& change : outcome.values) {
        lines += ValueLine(change);
    }
    return lines;
}

std::wstring BackupKey(const std::wstring& guid) {
    return L"HKLM\\" + BackupPath(guid);
}

// The refusals and failures all commands share; kExitDone for an outcome that is none.
int ReportTrouble(const FxOutcome& outcome, const wchar_t* commandName, const std::wstring& guid,
                  ConsoleText& text) {
    const std::wstring key = L"HKLM\\" + outcome.keyPath;
    std::wstring message;
    int exitCode = kExitFailed;
    switch (outcome.change) {
    case FxChange::NotElevated:
        return NotElevated(text, commandName);
    case FxChange::AccessDenied:
        exitCode = kExitRefused;
        message = key + L" is not writable (access denied). Windows keeps the endpoint's keys "
                        L"for itself: give Administrators full control of this key (INSTALL.txt, "
                        L"\"Troubleshooting\"), then run kovractl again.";
        break;
    case FxChange::NoEndpointKey:
        return Fail(text, kExitFailed, L"the endpoint has no registry key " + key);
    case FxChange::Failed:
        message = L"cannot change " + key + L": " +
                  DescribeResult(HRESULT_FROM_WIN32(static_cast<DWORD>(outcome.status))) + L".";
        break;
    default:
        return kExitDone;
    }
    if (!outcome.values.empty()) {
        message += L"\nAlready done:\n" + ValueLines(outcome);
    }
    if (outcome.backupKept) {
        message += L"\nWhat KovraAPO replaced stays recorded under " + BackupKey(guid) +
                   L"; kovractl uninstall puts it back once the key is writable.";
    } else if (outcome.change == FxChange::AccessDenied || outcome.change == FxChange::Failed) {
        message += std::wstring(L"\nNothing was changed") +
                   (outcome.values.empty() ? L"." : L" besides the values above.");
    }
    return Fail(text, exitCode, message);
}

// An endpoint Windows has removed since the install keeps its record until the user drops it.
int RecordOfRemovedEndpoint(const std::wstring& guid, ConsoleText& text) {
    return Fail(text, kExitProtected,
                L"the endpoint " + guid + L" no longer exists (no key HKLM\\" +
                    RenderEndpointPath(guid) + L"), but the record of what KovraAPO replaced " +
                    L"there is kept under " + BackupKey(guid) + L". Nothing is left to put " +
                    L"back; " + DropRecordCommand(guid) + L" drops the record.");
}

int UninstallOne(const std::wstring& guid, const EndpointInfo& endpoint, bool force,
                 EndpointSource& endpoints, ConsoleText& text) {
    const FxOutcome outcome = UninstallEffect(guid, force);
    FxBackup backup;
    if (outcome.change == FxChange::NoEndpointKey &&
        ReadBackup(guid, {}, backup) == ERROR_SUCCESS && backup.exists) {
        return RecordOfRemovedEndpoint(guid, text);
    }
    if (const int trouble = ReportTrouble(outcome, L"uninstall", guid, text)) {
        return trouble;
    }
    const std::wstring name = EndpointLine(endpoint);
    if (outcome.change == FxChange::NoBackup) {
        return Fail(text, kExitProtected,
                    L"KovraAPO is on " + name + L", but no backup under " + BackupKey(guid) +
                        L" says what the endpoint held before it. uninstall --force would "
                        L"change:\n" +
                        ValueLines(outcome) + L"Nothing was changed.");
    }
    if (outcome.change == FxChange::NotInstalled) {
        text.out += L"KovraAPO is not installed on " + name + L"; nothing changed.\n";
        return kExitDone;
    }
    if (outcome.effectFound) {
        text.out += L"KovraAPO removed from " + name + L"\n" + ValueLines(outcome);
    } else {
        text.out += L"KovraAPO is no longer on " + name +
                    L": its effect values were written since the install by another program "
                    L"(a driver update, as a rule). What the install wrote and nobody changed "
                    L"since is put back, and its record is dropped:\n" +
                    ValueLines(outcome);
    }
    bool keyExists = false;
    NamedValues values;
    if (ReadFxValues(guid, keyExists, values) == ERROR_SUCCESS &&
        EnhancementsDisabled(endpoints, endpoint.id, values)) {
        text.out += kEffectsStillOff;
    }
    return kExitDone;
}

int UninstallEverywhere(bool force, EndpointSource& endpoints, ConsoleText& text) {
    if (!controlPlatform.processIsElevated()) {
        return NotElevated(text, L"uninstall");
    }
    std::vector<EndpointInfo> listed;
    if (FAILED(endpoints.ListRenderEndpoints(listed))) {
        listed.clear(); // the endpoints are then named by their ids alone
    }
    std::vector<std::wstring> guids;
    const LSTATUS status = EndpointsWithKovraAPO(guids);
    if (status != ERROR_SUCCESS) {
        return Fail(text, kExitFailed,
                    L"cannot read the render endpoints' effects: " +
                        DescribeResult(HRESULT_FROM_WIN32(static_cast<DWORD>(status))));
    }
    if (guids.empty()) {
        text.out += L"KovraAPO is not installed on any render endpoint; nothing changed.\n";
        return kExitDone;
    }
    int exitCode = kExitDone;
    for (const std::wstring& guid : guids) {
        exitCode = std::max(
            exitCode, UninstallOne(guid, EndpointOfGuid(listed, guid), force, endpoints, text));
    }
    return exitCode;
}

} // namespace

int RunInstall(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    if (!controlPlatform.processIsElevated()) {
        return NotElevated(text, L"install");
    }
    const std::wstring loadProblem = EffectLoadProblem();
    if (!loadProblem.empty() && !command.force) {
        return Fail(text, kExitProtected,
                    L"the audio engine could not load KovraAPO: " + loadProblem +
                        L". Nothing was changed; install --force installs it all the same.");
    }
    const FxOutcome outcome = InstallEffect(chosen.guid);
    if (const int trouble = ReportTrouble(outcome, L"install", chosen.guid, text)) {
        return trouble;
    }
    const std::wstring name = EndpointLine(chosen.info);
    const std::wstring layout = L"Endpoint layout: " + DescribeLayout(outcome.layout) + L".\n";
    if (outcome.change == FxChange::AlreadyInstalled) {
        text.out += L"KovraAPO is already installed on " + name + L"; nothing changed.\n" + layout;
    } else {
        text.out += L"KovraAPO installed on " + name + L"\n" + layout + ValueLines(outcome);
        text.out += L"What it replaced is saved under " + BackupKey(chosen.guid) +
                    L"; kovractl uninstall puts it back.\n" + kRestartAdvice;
    }
    if (!loadProblem.empty()) {
        text.out += L"Warning: the audio engine cannot load KovraAPO yet: " + loadProblem + L".\n";
    }
    text.out += SigningNote();
    bool keyExists = false;
    NamedValues values;
    if (ReadFxValues(chosen.guid, keyExists, values) == ERROR_SUCCESS &&
        EnhancementsDisabled(endpoints, chosen.info.id, values)) {
        text.out += kEnhancementsWarning;
    }
    return kExitDone;
}

int RunUninstall(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    if (command.allEndpoints) {
        return UninstallEverywhere(command.force, endpoints, text);
    }
    ChosenEndpoint chosen;
    if (const int chosenResult = ChooseEndpointFor(command, endpoints, text, chosen)) {
        return chosenResult;
    }
    return UninstallOne(chosen.guid, chosen.info, command.force, endpoints, text);
}
