#include "fxbackup.h"

#include "controlplatform.h"
#include "fxlayout.h"

namespace {

constexpr wchar_t kBackups[] = L"SOFTWARE\\KovraAPO\\Replaced";
constexpr wchar_t kWrittenValues[] = L"WrittenValues";
constexpr wchar_t kCreatedMarker[] = L"CreatedFxProperties";
constexpr wchar_t kWrotePrefix[] = L"Written:";
constexpr size_t kWrotePrefixLength = sizeof kWrotePrefix / sizeof kWrotePrefix[0] - 1;

bool SameName(const std::wstring& first, const std::wstring& second) {
    return _wcsicmp(first.c_str(), second.c_str()) == 0;
}

bool MarkerSet(const NamedValues& values) {
    const auto found = values.find(kCreatedMarker);
    return found != values.end() && found->second.type == REG_DWORD &&
           found->second.data != std::vector<BYTE>(4, 0);
}

// The record's values by name, as they are stored.
NamedValues StoredValues(const FxBackup& backup) {
    NamedValues stored = backup.saved;
    for (const auto& [name, value] : backup.wrote) {
        stored[kWrotePrefix + name] = value;
    }
    stored[kWrittenValues] = TextListValue(backup.written);
    if (backup.createdFxKey) {
        stored[kCreatedMarker] = DwordValue(1);
    }
    return stored;
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

std::wstring DropRecordCommand(const std::wstring& endpointGuid) {
    return L"reg delete \"HKLM\\" + BackupPath(endpointGuid) + L"\" /f /reg:64";
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
    return FindValue(saved, name);
}

RawValue FxBackup::Wrote(const std::wstring& name) const {
    const std::optional<RawValue> recorded = FindValue(wrote, name);
    return recorded ? *recorded : InstalledValue(name, Saved(name));
}

void FxBackup::Add(const std::wstring& name, const std::optional<RawValue>& before,
                   const RawValue& written) {
    if (!Records(name)) {
        this->written.push_back(name);
    }
    saved.erase(name);
    if (before) {
        saved[name] = *before;
    }
    wrote[name] = written;
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
    for (const auto& [name, value] : values) {
        if (SameName(name, kWrittenValues) || SameName(name, kCreatedMarker)) {
            continue;
        }
        if (_wcsnicmp(name.c_str(), kWrotePrefix, kWrotePrefixLength) == 0) {
            backup.wrote[name.substr(kWrotePrefixLength)] = value;
        } else {
            backup.saved[name] = value;
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS WriteBackup(HKEY backupKey, const FxBackup& backup) {
    const NamedValues stored = StoredValues(backup);
    NamedValues present;
    LSTATUS status = ReadAllValues(backupKey, present);
    for (auto value = stored.begin(); status == ERROR_SUCCESS && value != stored.end(); ++value) {
        status = SetRawValue(backupKey, value->first.c_str(), value->second);
    }
    for (auto value = present.begin(); status == ERROR_SUCCESS && value != present.end(); ++value) {
        if (!stored.count(value->first)) {
            status = DeleteValueIfPresent(backupKey, value->first.c_str());
        }
    }
    return status;
}

LSTATUS EndpointsWithBackup(std::vector<std::wstring>& guids) {
    return ReadSubkeyNames(kBackups, guids);
}
