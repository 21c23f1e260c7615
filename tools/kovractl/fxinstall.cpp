#include "fxinstall.h"

#include "controlplatform.h"
#include "fxbackup.h"

#include <algorithm>

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr REGSAM kReadWrite = KEY_QUERY_VALUE | KEY_SET_VALUE | kView;

using How = FxValueChange::How;

bool KeyExists(const std::wstring& path) {
    RegistryKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | kView, key.Receive()) ==
           ERROR_SUCCESS;
}

// The key a refused create or open concerns: the key itself when it exists, otherwise the
// nearest existing key above it, in which the new key could not be made.
std::wstring RefusedKey(std::wstring path) {
    while (!KeyExists(path)) {
        const size_t separator = path.rfind(L'\\');
        if (separator == std::wstring::npos) {
            break;
        }
        path.resize(separator);
    }
    return path;
}

FxOutcome Outcome(FxChange change, FxLayout layout = FxLayout::NoKey) {
    FxOutcome outcome;
    outcome.change = change;
    outcome.layout = layout;
    return outcome;
}

FxOutcome RegistryFailure(LSTATUS status, const std::wstring& path, FxOutcome outcome = {}) {
    outcome.change = status == ERROR_ACCESS_DENIED ? FxChange::AccessDenied : FxChange::Failed;
    outcome.status = status;
    outcome.keyPath = status == ERROR_ACCESS_DENIED ? RefusedKey(path) : path;
    return outcome;
}

FxOutcome MissingEndpointOr(LSTATUS status, const std::wstring& path) {
    if (status != ERROR_FILE_NOT_FOUND) {
        return RegistryFailure(status, path);
    }
    FxOutcome outcome = Outcome(FxChange::NoEndpointKey);
    outcome.keyPath = path;
    return outcome;
}

LSTATUS CreateReadWrite(const std::wstring& path, RegistryKey& key, bool& created) {
    DWORD disposition = 0;
    const LSTATUS status = controlPlatform.createKey(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                                     REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                                                     key.Receive(), &disposition);
    created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

LSTATUS OpenReadWrite(const std::wstring& path, RegistryKey& key) {
    return controlPlatform.openKey(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadWrite, key.Receive());
}

void DeleteKey(const std::wstring& path) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kView, 0);
}

bool KeyIsEmpty(const std::wstring& path) {
    RegistryKey key;
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | kView, key.Receive()) ==
               ERROR_SUCCESS &&
           RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

std::optional<RawValue> ValueOf(const NamedValues& values, const std::wstring& name) {
    const auto found = values.find(name);
    return found == values.end() ? std::nullopt : std::optional(found->second);
}

// Puts the named values of `key` back to `snapshot`; false when one of them refused.
bool RestoreValues(HKEY key, const std::vector<std::wstring>& names, const NamedValues& snapshot) {
    bool restored = true;
    for (const std::wstring& name : names) {
        restored &= RestoreValue(key, name.c_str(), ValueOf(snapshot, name)) == ERROR_SUCCESS;
    }
    return restored;
}

// Every value of `key` back to `snapshot`.
void ResetValues(HKEY key, const NamedValues& snapshot) {
    NamedValues now;
    ReadAllValues(key, now);
    std::vector<std::wstring> names;
    for (const auto& [name, value] : now) {
        names.push_back(name);
    }
    for (const auto& [name, value] : snapshot) {
        names.push_back(name);
    }
    RestoreValues(key, names, snapshot);
}

struct InstallTarget {
    std::wstring guid;
    std::wstring fxPath;
    RegistryKey fxKey;
    bool fxKeyCreated = false;
    NamedValues values;
};

// Writes the planned values after recording what they replace. On a failure everything written
// is taken back; should that fail too, the record stays, so that an uninstall can finish it.
FxOutcome WriteInstall(InstallTarget& target, const std::vector<FxWrite>& writes,
                       FxOutcome outcome) {
    FxBackup backup;
    const std::wstring backupPath = BackupPath(target.guid);
    LSTATUS status = ReadBackup(target.guid, target.values, backup);
    RegistryKey backupKey;
    bool backupCreated = false;
    if (status == ERROR_SUCCESS) {
        status = CreateReadWrite(backupPath, backupKey, backupCreated);
    }
    NamedValues backupBefore;
    if (status == ERROR_SUCCESS) {
        status = ReadAllValues(backupKey.Get(), backupBefore);
    }
    std::vector<std::wstring> names;
    for (const FxWrite& write : writes) {
        names.push_back(write.name);
    }
    if (status == ERROR_SUCCESS) {
        status = RecordReplaced(backupKey.Get(), backup, names, target.values,
                                target.fxKeyCreated || backup.createdFxKey);
    }
    std::wstring failedPath = backupPath;
    size_t written = 0;
    while (status == ERROR_SUCCESS && written < writes.size()) {
        failedPath = target.fxPath;
        status =
            SetRawValue(target.fxKey.Get(), writes[written].name.c_str(), writes[written].value);
        written += status == ERROR_SUCCESS ? 1 : 0;
    }
    if (status == ERROR_SUCCESS) {
        for (const FxWrite& write : writes) {
            outcome.values.push_back(
                {write.name, How::Written, ValueOf(target.values, write.name), write.value});
        }
        return outcome;
    }
    // Named while the keys are as the failure found them.
    outcome = RegistryFailure(status, failedPath, outcome);
    names.resize(written);
    outcome.backupKept = !RestoreValues(target.fxKey.Get(), names, target.values);
    if (!outcome.backupKept && backupKey.Get()) {
        ResetValues(backupKey.Get(), backupBefore);
    }
    backupKey.Close();
    target.fxKey.Close();
    if (!outcome.backupKept && backupCreated) {
        DeleteKey(backupPath);
    }
    if (!outcome.backupKept && target.fxKeyCreated) {
        DeleteKey(target.fxPath);
    }
    return outcome;
}

// What uninstall does with one value: `how`, and the value it then holds.
FxValueChange PlanUndo(const std::wstring& name, const NamedValues& values,
                       const FxBackup& backup) {
    const std::optional<RawValue> current = ValueOf(values, name);
    const std::optional<RawValue> saved = backup.Saved(name);
    const FxValueKind kind = KindOf(name);
    FxValueChange change{name, How::TakenSince, current, current};
    const bool ours =
        current && (kind == FxValueKind::Setting
                        ? backup.Records(name) && *current == InstalledValue(name, saved)
                        : HoldsKovraAPO(*current));
    if (!ours) {
        change.how = current == saved ? How::AlreadyBack : How::TakenSince;
        return change;
    }
    if (kind == FxValueKind::EffectList &&
        (!backup.Records(name) || *current != InstalledValue(name, saved))) {
        // Others changed the list since, or nothing says what it held: only KovraAPO goes.
        change.after = WithoutKovraAPO(*current);
        if (TextsOf(*change.after).empty() && !saved) {
            change.after.reset();
        }
        change.how = backup.Records(name) ? How::KovraRemoved : How::ForcedOut;
        return change;
    }
    if (!backup.Records(name)) {
        change.how = How::ForcedOut;
        change.after.reset();
        return change;
    }
    change.how = saved ? How::Restored : How::Emptied;
    change.after = saved;
    return change;
}

bool AnyEffectHoldsKovraAPO(const NamedValues& values) {
    for (const auto& [name, value] : values) {
        if (KindOf(name) != FxValueKind::Setting && HoldsKovraAPO(value)) {
            return true;
        }
    }
    return false;
}

std::vector<FxValueChange> PlanUninstall(const NamedValues& values, const FxBackup& backup) {
    std::vector<std::wstring> names = backup.written;
    for (const auto& [name, value] : values) {
        if (KindOf(name) != FxValueKind::Setting && HoldsKovraAPO(value) && !backup.Records(name)) {
            names.push_back(name);
        }
    }
    std::vector<FxValueChange> changes;
    for (const std::wstring& name : names) {
        changes.push_back(PlanUndo(name, values, backup));
    }
    return changes;
}

bool Changes(const FxValueChange& change) {
    return change.how != How::TakenSince && change.how != How::AlreadyBack;
}

FxOutcome NotInstalled(const std::wstring& guid, const FxBackup& backup, bool force,
                       FxLayout layout) {
    FxOutcome outcome = Outcome(FxChange::NotInstalled, layout);
    outcome.staleBackup = backup.exists;
    if (backup.exists && force) {
        DeleteKey(BackupPath(guid));
        outcome.backupDiscarded = !KeyExists(BackupPath(guid));
    }
    return outcome;
}

} // namespace

LSTATUS EndpointsWithKovraAPO(std::vector<std::wstring>& guids) {
    std::vector<std::wstring> endpoints;
    std::vector<std::wstring> backups;
    LSTATUS status = ReadSubkeyNames(kRenderEndpointsKey, endpoints);
    if (status == ERROR_SUCCESS) {
        status = EndpointsWithBackup(backups);
    }
    guids.clear();
    for (const std::wstring& guid : endpoints) {
        bool keyExists = false;
        NamedValues values;
        const bool backedUp =
            std::any_of(backups.begin(), backups.end(), [&](const std::wstring& backup) {
                return _wcsicmp(backup.c_str(), guid.c_str()) == 0;
            });
        if (status == ERROR_SUCCESS) {
            status = ReadFxValues(guid, keyExists, values);
        }
        if (status == ERROR_SUCCESS && (backedUp || AnyEffectHoldsKovraAPO(values))) {
            guids.push_back(guid);
        }
    }
    return status;
}

LSTATUS ReadFxValues(const std::wstring& endpointGuid, bool& keyExists, NamedValues& values) {
    values.clear();
    RegistryKey key;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, FxPropertiesPath(endpointGuid).c_str(),
                                         0, KEY_QUERY_VALUE | kView, key.Receive());
    keyExists = status == ERROR_SUCCESS;
    if (status == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    return status == ERROR_SUCCESS ? ReadAllValues(key.Get(), values) : status;
}

FxOutcome InstallEffect(const std::wstring& endpointGuid) {
    if (!controlPlatform.processIsElevated()) {
        return Outcome(FxChange::NotElevated);
    }
    const std::wstring endpointPath = RenderEndpointPath(endpointGuid);
    if (!KeyExists(endpointPath)) {
        return MissingEndpointOr(ERROR_FILE_NOT_FOUND, endpointPath);
    }
    // Nothing to do needs no write access: an endpoint whose key was handed back to Windows
    // after the install still reports the install.
    bool keyExists = false;
    NamedValues values;
    LSTATUS status = ReadFxValues(endpointGuid, keyExists, values);
    const FxLayout layoutNow = DetectLayout(keyExists, values);
    if (status == ERROR_SUCCESS && PlanInstall(layoutNow, values).empty()) {
        return Outcome(FxChange::AlreadyInstalled, layoutNow);
    }
    InstallTarget target;
    target.guid = endpointGuid;
    target.fxPath = FxPropertiesPath(endpointGuid);
    status = OpenReadWrite(target.fxPath, target.fxKey);
    if (status == ERROR_FILE_NOT_FOUND) {
        status = CreateReadWrite(target.fxPath, target.fxKey, target.fxKeyCreated);
    }
    if (status == ERROR_SUCCESS) {
        status = ReadAllValues(target.fxKey.Get(), target.values);
    }
    if (status != ERROR_SUCCESS) {
        target.fxKey.Close();
        if (target.fxKeyCreated) {
            DeleteKey(target.fxPath);
        }
        return RegistryFailure(status, target.fxPath);
    }
    const FxLayout layout = DetectLayout(!target.fxKeyCreated, target.values);
    const std::vector<FxWrite> writes = PlanInstall(layout, target.values);
    if (writes.empty()) {
        return Outcome(FxChange::AlreadyInstalled, layout);
    }
    return WriteInstall(target, writes, Outcome(FxChange::Installed, layout));
}

FxOutcome UninstallEffect(const std::wstring& endpointGuid, bool force) {
    if (!controlPlatform.processIsElevated()) {
        return Outcome(FxChange::NotElevated);
    }
    const std::wstring endpointPath = RenderEndpointPath(endpointGuid);
    if (!KeyExists(endpointPath)) {
        return MissingEndpointOr(ERROR_FILE_NOT_FOUND, endpointPath);
    }
    const std::wstring fxPath = FxPropertiesPath(endpointGuid);
    bool keyExists = false;
    NamedValues values;
    FxBackup backup;
    LSTATUS status = ReadFxValues(endpointGuid, keyExists, values);
    if (status == ERROR_SUCCESS) {
        status = ReadBackup(endpointGuid, values, backup);
    }
    if (status != ERROR_SUCCESS) {
        return RegistryFailure(status, fxPath);
    }
    const FxLayout layout = DetectLayout(keyExists, values);
    if (!AnyEffectHoldsKovraAPO(values)) {
        return NotInstalled(endpointGuid, backup, force, layout);
    }
    FxOutcome outcome = Outcome(FxChange::Uninstalled, layout);
    outcome.values = PlanUninstall(values, backup);
    for (const FxValueChange& change : outcome.values) {
        if (change.how == How::ForcedOut && !force) {
            outcome.change = FxChange::NoBackup;
            return outcome;
        }
    }
    RegistryKey fxKey;
    status = OpenReadWrite(fxPath, fxKey);
    for (size_t index = 0; status == ERROR_SUCCESS && index < outcome.values.size(); ++index) {
        const FxValueChange& change = outcome.values[index];
        if (Changes(change)) {
            status = RestoreValue(fxKey.Get(), change.name.c_str(), change.after);
        }
        if (status != ERROR_SUCCESS) {
            // The record stays, so that another uninstall can still put the rest back.
            outcome.values.resize(index);
            outcome.backupKept = backup.exists;
        }
    }
    fxKey.Close();
    if (status != ERROR_SUCCESS) {
        return RegistryFailure(status, fxPath, outcome);
    }
    if (backup.createdFxKey && KeyIsEmpty(fxPath)) {
        DeleteKey(fxPath);
    }
    DeleteKey(BackupPath(endpointGuid));
    return outcome;
}
