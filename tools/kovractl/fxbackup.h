// What an install changed on an endpoint, kept under the product's own key until the uninstall
// has settled it: HKLM\SOFTWARE\KovraAPO\Replaced\{endpoint GUID} (64-bit view). For each value
// install wrote, the record holds what the value held just before, under the value's own name
// and byte for byte (no such value: it did not exist), and what install wrote, under "Written:"
// and the name; "WrittenValues" lists the names, and "CreatedFxProperties" is 1 when install
// created the endpoint's FxProperties key. Uninstall tells a value that still holds what install
// wrote from one that someone else wrote since by the record alone, never by what it holds.
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

// The command that drops the record of an endpoint whose registry key is gone.
std::wstring DropRecordCommand(const std::wstring& endpointGuid);

struct FxBackup {
    bool exists = false;
    NamedValues saved;                 // the values before the install; absent ones are not here
    NamedValues wrote;                 // what install wrote; empty in a record of kovractl 1.0
    std::vector<std::wstring> written; // the names install wrote
    bool createdFxKey = false;

    bool Records(const std::wstring& name) const;
    std::optional<RawValue> Saved(const std::wstring& name) const;
    // What install wrote. A record written before the written values were kept names what
    // kovractl writes over the saved value, which is what it wrote then.
    RawValue Wrote(const std::wstring& name) const;
    void Add(const std::wstring& name, const std::optional<RawValue>& before,
             const RawValue& written);
};

// A record written before "WrittenValues" existed covers the values that hold KovraAPO now: a
// missing saved value meant an empty slot then, too.
LSTATUS ReadBackup(const std::wstring& endpointGuid, const NamedValues& fxValues, FxBackup& backup);

// Makes the values of `backupKey` exactly those of `backup`; ERROR_SUCCESS or the failure, after
// which the key may hold part of it.
LSTATUS WriteBackup(HKEY backupKey, const FxBackup& backup);

// The GUIDs of the endpoints whose backup is kept, braces included.
LSTATUS EndpointsWithBackup(std::vector<std::wstring>& guids);
