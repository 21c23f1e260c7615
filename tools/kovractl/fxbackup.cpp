#include "fxbackup.h"

#include "controlplatform.h"
#include "fxlayout.h"

namespace {

constexpr wchar_t kBackups[] = L"SOFTWARE\\KovraAPO\\Replaced";
constexpr wchar_t kWrittenValues[] = L"WrittenValues";
constexpr wchar_t kCreatedMarker[] = L"CreatedFxProperties";

bool SameName(const std::wstring& first, const std::wstring& second) {
    return _wcsicmp(first.c_str(), second.c_str()) == 0;
}

bool MarkerSet(const NamedValues& values) {
    const auto found = values.find(kCreatedMarker);
    return found != values.end() && found->second.type == REG_DWORD &&
           found->second.data != std::vector<BYTE>(4, 0);
}

} // namespace

std::wstring RenderEndpointPath(const std::wstring& endpointGuid) {
    return std::wstring(kRenderEndpointsKey) + L"\\" + endpointGuid;
}

std::wstring FxPropertiesPath(const std::wstring& endpointGuid) {
    return RenderEndpointPath(endpointGuid) + L"\\FxProperties";
}

std::wstring BackupPath(const std::wstring& endpointGuid) {
    return std::wstring(kBackups) + L"\\" + endpointGuid;
}

bool FxBackup::Records(const std::wstring& name) const {
    for (const std::wstring& recorded : written) {
        if (SameName(recorded, name)) {
            return true;
        }
    }
    return false;
}

std::optional<RawValue> FxBackup::Saved(const std::wstring& name) const {
    const auto found = saved.find(name);
    return found == saved.end() ? std::nullopt : std::optional(found->second);
}

LSTATUS ReadBackup(const std::wstring& endpointGuid, const NamedValues& fxValues,
                   FxBackup& backup) {
    backup = FxBackup{};
    RegistryKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, BackupPath(endpointGuid).c_str(), 0,
                                   KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    NamedValues values;
    if (status == ERROR_SUCCESS) {
        status = ReadAllValues(key.Get(), values);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    backup.exists = true;
    backup.createdFxKey = MarkerSet(values);
    const auto written = values.find(kWrittenValues);
    if (written != values.end()) {
        backup.written = TextsOf(written->second);
    } else {
        for (const auto& [name, value] : fxValues) {
            if (KindOf(name) != FxValueKind::Setting && HoldsKovraAPO(value)) {
                backup.written.push_back(name);
            }
        }
    }
    values.erase(kWrittenValues);
    values.erase(kCreatedMarker);
    backup.saved = std::move(values);
    return ERROR_SUCCESS;
}

LSTATUS RecordReplaced(HKEY backupKey, const FxBackup& backup,
                       const std::vector<std::wstring>& names, const NamedValues& before,
                       bool createdFxKey) {
    std::vector<std::wstring> written = backup.written;
    for (const std::wstring& name : names) {
        const auto found = before.find(name);
        const LSTATUS status =
            RestoreValue(backupKey, name.c_str(),
                         found == before.end() ? std::nullopt : std::optional(found->second));
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (!backup.Records(name)) {
            written.push_back(name);
        }
    }
    LSTATUS status = SetRawValue(backupKey, kWrittenValues, TextListValue(written));
    if (status == ERROR_SUCCESS && createdFxKey) {
        const DWORD created = 1;
        status = controlPlatform.setValue(backupKey, kCreatedMarker, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&created), sizeof created);
    }
    return status;
}

LSTATUS EndpointsWithBackup(std::vector<std::wstring>& guids) {
    return ReadSubkeyNames(kBackups, guids);
}
