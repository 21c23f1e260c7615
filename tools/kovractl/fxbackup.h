// What an install replaced on an endpoint, kept under the product's own key until the uninstall
// has put it back: HKLM\SOFTWARE\KovraAPO\Replaced\{endpoint GUID} (64-bit view) holds the
// values install overwrote, under their own names and byte for byte, "WrittenValues" (the names
// install wrote, including those that did not exist before) and "CreatedFxProperties" when the
// install created the endpoint's FxProperties key.
#pragma once

#include "registryvalue.h"

#include <optional>
#include <string>
#include <vector>

// Under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\KovraAPO";
inline constexpr wchar_t kRenderEndpointsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render";
std::wstring RenderEndpointPath(const std::wstring& endpointGuid);
std::wstring FxPropertiesPath(const std::wstring& endpointGuid);
std::wstring BackupPath(const std::wstring& endpointGuid);

struct FxBackup {
    bool exists = false;
    NamedValues saved;
    std::vector<std::wstring> written;
    bool createdFxKey = false;

    bool Records(const std::wstring& name) const;
    std::optional<RawValue> Saved(const std::wstring& name) const;
};

// A record written before "WrittenValues" existed covers the values that hold KovraAPO now: a
// missing saved value meant an empty slot then, too.
LSTATUS ReadBackup(const std::wstring& endpointGuid, const NamedValues& fxValues, FxBackup& backup);

// Adds `names` to the record with what they hold in `before`; ERROR_SUCCESS or the failure.
LSTATUS RecordReplaced(HKEY backupKey, const FxBackup& backup,
                       const std::vector<std::wstring>& names, const NamedValues& before,
                       bool createdFxKey);

// The GUIDs of the endpoints whose backup is kept, braces included.
LSTATUS EndpointsWithBackup(std::vector<std::wstring>& guids);
