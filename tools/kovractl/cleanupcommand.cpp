// kovractl cleanup: removes the product's own key, HKLM\SOFTWARE\KovraAPO (the trace switch and
// the backups), but only once no endpoint needs a backup kept there.
#include "commands.h"
#include "controlplatform.h"
#include "fxbackup.h"
#include "fxinstall.h"
#include "resultdescription.h"

namespace {

std::wstring ErrorText(LSTATUS status) {
    return DescribeResult(HRESULT_FROM_WIN32(static_cast<DWORD>(status)));
}

// The command that settles the endpoint's record: the uninstall (with --force where KovraAPO sits
// in values no record covers), or, for an endpoint Windows has removed, dropping the record.
std::wstring SettlingCommand(const std::wstring& guid, const EndpointInfo& endpoint) {
    if (!EndpointKeyExists(guid)) {
        return DropRecordCommand(guid) + L"  (the endpoint is gone; nothing is left to put back)";
    }
    const bool needsForce = PreviewUninstall(guid).change == FxChange::NoBackup;
    return L"kovractl uninstall \"" + endpoint.id + L"\"" + (needsForce ? L" --force" : L"");
}

// One line per endpoint that still has a backup, and the command that settles it.
std::wstring BackupLines(const std::vector<std::wstring>& guids,
                         const std::vector<EndpointInfo>& listed) {
    std::wstring lines;
    for (const std::wstring& guid : guids) {
        const EndpointInfo endpoint = EndpointOfGuid(listed, guid);
        lines +=
            L"  " + EndpointLine(endpoint) + L"\n    " + SettlingCommand(guid, endpoint) + L"\n";
    }
    return lines;
}

} // namespace

int RunCleanup(EndpointSource& endpoints, ConsoleText& text) {
    if (!controlPlatform.processIsElevated()) {
        return NotElevated(text, L"cleanup");
    }
    std::vector<std::wstring> guids;
    LSTATUS status = EndpointsWithBackup(guids);
    if (status != ERROR_SUCCESS) {
        return Fail(text, kExitFailed,
                    L"cannot read HKLM\\" + std::wstring(kProductKey) + L": " + ErrorText(status));
    }
    if (!guids.empty()) {
        std::vector<EndpointInfo> listed;
        if (FAILED(endpoints.ListRenderEndpoints(listed))) {
            listed.clear();
        }
        return Fail(text, kExitProtected,
                    L"HKLM\\" + std::wstring(kProductKey) +
                        L" is kept: it holds what KovraAPO replaced on these endpoints. The "
                        L"command under each settles it:\n" +
                        BackupLines(guids, listed) +
                        L"then run kovractl cleanup again. Nothing was changed.");
    }
    RegistryKey key;
    status = controlPlatform.openKey(HKEY_LOCAL_MACHINE, kProductKey, 0,
                                     KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        text.out += L"HKLM\\" + std::wstring(kProductKey) + L" does not exist; nothing changed.\n";
        return kExitDone;
    }
    if (status == ERROR_SUCCESS) {
        status = RegDeleteTreeW(key.Get(), nullptr);
    }
    key.Close();
    if (status == ERROR_SUCCESS) {
        status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_64KEY, 0);
    }
    if (status != ERROR_SUCCESS) {
        return Fail(text, status == ERROR_ACCESS_DENIED ? kExitRefused : kExitFailed,
                    L"cannot remove HKLM\\" + std::wstring(kProductKey) + L": " +
                        ErrorText(status));
    }
    text.out += L"HKLM\\" + std::wstring(kProductKey) +
                L" removed: no endpoint needed a backup kept there.\n";
    return kExitDone;
}
