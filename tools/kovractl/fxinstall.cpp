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

// Puts the named values of `key` back to `snapshot`; false when one of them refused.
bool RestoreValues(HKEY key, const std::vector<std::wstring>& names, const NamedValues& snapshot) {
    bool restored = true;
    for (const std::wstring& name : names) {
        restored &= RestoreValue(key, name.c_str(), FindValue(snapshot, name)) == ERROR_SUCCESS;
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

// The record this install leaves. Of an earlier install's entries only those whose value still
// holds, byte for byte, the KovraAPO effect that install wrote stay: an install that finds
// something to write again finds an endpoint someone wrote since (a driver update, as a rule), and
// every other value there, even one equal to what kovractl wrote, is theirs now. What this install
// writes over is recorded as it finds it.
FxBackup NextBackup(const FxBackup& earlier, const NamedValues& values,
                    const std::vector<FxWrite>& writes, bool createdFxKey) {
    FxBackup next;
    next.exists = true;
    next.createdFxKey = createdFxKey || earlier.createdFxKey;
    for (const std::wstring& name : earlier.written) {
        const RawValue wrote = earlier.Wrote(name);
        if (HoldsKovraAPO(wrote) && FindValue(values, name) == wrote) {
            next.Add(name, earlier.Saved(name), wrote);
        }
    }
    for (const FxWrite& write : writes) {
        next.Add(write.name, FindValue(values, write.name), write.value);
    }
    return next;
}

// Writes the planned values after recording what they replace. On a failure everything written
// is taken back, the record included; should that fail too, the record stays, so that an
// uninstall can finish it.
FxOutcome WriteInstall(InstallTarget& target, const std::vector<FxWrite>& writes,
                       FxOutcome outcome) {
    FxBackup earlier;
    const std::wstring backupPath = BackupPath(target.guid);
    LSTATUS status = ReadBackup(target.guid, target.values, earlier);
    RegistryKey backupKey;
    bool backupCreated = false;
    if (status == ERROR_SUCCESS) {
        status = CreateReadWrite(backupPath, backupKey, backupCreated);
    }
    NamedValues backupBefore;
    if (status == ERROR_SUCCESS) {
        status = ReadAllValues(backupKey.Get(), backupBefore);
    }
    if (status == ERROR_SUCCESS) {
        status = WriteBackup(backupKey.Get(),
                             NextBackup(earlier, target.values, writes, target.fxKeyCreated));
    }
    std::vector<std::wstring> names;
    for (const FxWrite& write : writes) {
        names.push_back(write.name);
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
                {write.name, How::Written, FindValue(target.values, write.name), write.value});
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

// A list without KovraAPO's entries; nothing when no entry is left of a list that did not exist.
std::optional<RawValue> ListWithoutKovraAPO(const RawValue& list, bool existedBefore) {
    const RawValue kept = WithoutKovraAPO(list);
    return TextsOf(kept).empty() && !existedBefore ? std::nullopt : std::optional(kept);
}

// What uninstall does with one value: `how`, and the value it then holds. A recorded value that
// holds what the install wrote goes back to what it held before; one that holds anything else was
// written since by someone else and stays theirs, except that KovraAPO leaves an effect value that
// still names it.
FxValueChange PlanUndo(const std::wstring& name, const NamedValues& values,
                       const FxBackup& backup) {
    const std::optional<RawValue> current = FindValue(values, name);
    const FxValueKind kind = KindOf(name);
    const bool namesKovra = current && kind != FxValueKind::Setting && HoldsKovraAPO(*current);
    FxValueChange change{name, How::TakenSince, current, current};
    if (!backup.Records(name)) {
        // Only an effect value that names KovraAPO comes here.
        change.how = How::ForcedOut;
        change.after =
            kind == FxValueKind::EffectList ? ListWithoutKovraAPO(*current, false) : std::nullopt;
        return change;
    }
    const std::optional<RawValue> saved = backup.Saved(name);
    if (current == backup.Wrote(name) || (namesKovra && kind == FxValueKind::EffectClsid)) {
        change.how = saved ? How::Restored : How::Emptied;
        change.after = saved;
    } else if (current == saved) {
        change.how = How::AlreadyBack;
    } else if (namesKovra) {
        // A list others changed since: only KovraAPO goes.
        change.how = How::KovraRemoved;
        change.after = ListWithoutKovraAPO(*current, saved.has_value());
    }
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

// Not elevated, or no such endpoint: what stops a change before anything is read.
std::optional<FxOutcome> RefusedBeforeReading(const std::wstring& endpointGuid) {
    if (!controlPlatform.processIsElevated()) {
        return Outcome(FxChange::NotElevated);
    }
    const std::wstring endpointPath = RenderEndpointPath(endpointGuid);
    if (!KeyExists(endpointPath)) {
        return MissingEndpointOr(ERROR_FILE_NOT_FOUND, endpointPath);
    }
    return std::nullopt;
}

// Reads the endpoint and its record and plans the uninstall, without changing anything.
FxOutcome PlanUninstallOf(const std::wstring& endpointGuid, FxBackup& backup) {
    if (const std::optional<FxOutcome> refused = RefusedBeforeReading(endpointGuid)) {
        return *refused;
    }
    bool keyExists = false;
    NamedValues values;
    LSTATUS status = ReadFxValues(endpointGuid, keyExists, values);
    if (status == ERROR_SUCCESS) {
        status = ReadBackup(endpointGuid, values, backup);
    }
    if (status != ERROR_SUCCESS) {
        return RegistryFailure(status, FxPropertiesPath(endpointGuid));
    }
    const FxLayout layout = DetectLayout(keyExists, values);
    const bool effectFound = AnyEffectHoldsKovraAPO(values);
    if (!backup.exists && !effectFound) {
        return Outcome(FxChange::NotInstalled, layout);
    }
    FxOutcome outcome = Outcome(FxChange::Uninstalled, layout);
    outcome.effectFound = effectFound;
    outcome.values = PlanUninstall(values, backup);
    for (const FxValueChange& change : outcome.values) {
        if (change.how == How::ForcedOut) {
            outcome.change = FxChange::NoBackup;
        }
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
    // Records of endpoints that Windows has removed since.
    for (const std::wstring& backup : backups) {
        if (std::none_of(endpoints.begin(), endpoints.end(), [&](const std::wstring& guid) {
                return _wcsicmp(backup.c_str(), guid.c_str()) == 0;
            })) {
            guids.push_back(backup);
        }
    }
    return status;
}

bool EndpointKeyExists(const std::wstring& endpointGuid) {
    return KeyExists(RenderEndpointPath(endpointGuid));
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
    if (const std::optional<FxOutcome> refused = RefusedBeforeReading(endpointGuid)) {
        return *refused;
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

FxOutcome PreviewUninstall(const std::wstring& endpointGuid) {
    FxBackup backup;
    return PlanUninstallOf(endpointGuid, backup);
}

FxOutcome UninstallEffect(const std::wstring& endpointGuid, bool force) {
    FxBackup backup;
    FxOutcome outcome = PlanUninstallOf(endpointGuid, backup);
    if (outcome.change == FxChange::NoBackup && force) {
        outcome.change = FxChange::Uninstalled;
    }
    if (outcome.change != FxChange::Uninstalled) {
        return outcome;
    }
    const std::wstring fxPath = FxPropertiesPath(endpointGuid);
    RegistryKey fxKey;
    LSTATUS status = ERROR_SUCCESS;
    for (size_t index = 0; status == ERROR_SUCCESS && index < outcome.values.size(); ++index) {
        const FxValueChange& change = outcome.values[index];
        if (Changes(change) && !fxKey.Get()) {
            status = OpenReadWrite(fxPath, fxKey);
        }
        if (status == ERROR_SUCCESS && Changes(change)) {
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
