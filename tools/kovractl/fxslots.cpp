#include "fxslots.h"

#include "controlplatform.h"
#include <propsys.h>

#include "kovraids.h"

#include <objbase.h>

namespace {

constexpr wchar_t kRenderEndpoints[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render\\";
constexpr wchar_t kReplacedEffects[] = L"SOFTWARE\\KovraAPO\\Replaced\\";
// Kept beside the saved values when the install had to create the endpoint's FxProperties key,
// so that the uninstall removes it again instead of leaving an empty key behind.
constexpr wchar_t kCreatedMarker[] = L"CreatedFxProperties";
constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr REGSAM kReadWrite = KEY_QUERY_VALUE | KEY_SET_VALUE | kView;

size_t Index(FxSlot slot) {
    return static_cast<size_t>(slot);
}

// Exactly the bytes given. The registry counts a string's terminator in when the caller left it
// out but one follows the data in memory; a non-zero sentinel after the copy prevents that, so
// a saved string without a terminator comes back without one.
LSTATUS SetRaw(HKEY key, const wchar_t* name, const RawValue& value) {
    std::vector<BYTE> bytes(value.data);
    bytes.resize(value.data.size() + 2 * sizeof(wchar_t), 0xFF);
    return controlPlatform.setValue(key, name, 0, value.type, bytes.data(),
                                    static_cast<DWORD>(value.data.size()));
}

// A value that is already gone counts as deleted.
LSTATUS DeleteValue(HKEY key, const wchar_t* name) {
    const LSTATUS status = controlPlatform.deleteValue(key, name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Puts a slot back to `value`, or removes it when it held nothing.
LSTATUS RestoreSlot(HKEY key, FxSlot slot, const std::optional<RawValue>& value) {
    return value ? SetRaw(key, FxSlotValueName(slot), *value)
                 : DeleteValue(key, FxSlotValueName(slot));
}

LSTATUS CreateReadWrite(const std::wstring& path, RegistryKey& key, bool& created) {
    DWORD disposition = 0;
    const LSTATUS status = controlPlatform.createKey(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                                     REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                                                     key.Receive(), &disposition);
    created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

LSTATUS ReadSlots(HKEY key, FxSlots& slots) {
    slots.keyExists = true;
    for (FxSlot slot : kFxSlots) {
        const LSTATUS status = ReadRawValue(key, FxSlotValueName(slot), slots[slot]);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
}

void DeleteKey(const std::wstring& path) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kView, 0);
}

bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

FxOutcome Outcome(FxChange change) {
    FxOutcome outcome;
    outcome.change = change;
    return outcome;
}

FxOutcome RegistryFailure(LSTATUS status, const std::wstring& path) {
    FxOutcome outcome;
    outcome.change = status == ERROR_ACCESS_DENIED ? FxChange::AccessDenied : FxChange::Failed;
    outcome.status = status;
    outcome.keyPath = path;
    return outcome;
}

LSTATUS CheckEndpointKey(const std::wstring& endpointGuid, std::wstring& path) {
    path = kRenderEndpoints + endpointGuid;
    RegistryKey key;
    return controlPlatform.openKey(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | kView,
                                   key.Receive());
}

FxOutcome MissingEndpointOr(LSTATUS status, const std::wstring& path) {
    if (status == ERROR_FILE_NOT_FOUND) {
        FxOutcome outcome = Outcome(FxChange::NoEndpointKey);
        outcome.keyPath = path;
        return outcome;
    }
    return RegistryFailure(status, path);
}

// Saves what the slots that KovraAPO is about to take hold now. A slot that already holds
// KovraAPO keeps what an earlier install saved for it.
LSTATUS SaveReplaced(HKEY savedKey, const FxSlots& current, bool fxKeyCreated) {
    for (FxSlot slot : kFxSlots) {
        if (current.HoldsKovraAPO(slot)) {
            continue;
        }
        const std::optional<RawValue>& held = current[slot];
        const LSTATUS status = held ? SetRaw(savedKey, FxSlotValueName(slot), *held)
                                    : DeleteValue(savedKey, FxSlotValueName(slot));
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    if (!fxKeyCreated) {
        return ERROR_SUCCESS;
    }
    const DWORD created = 1;
    return controlPlatform.setValue(savedKey, kCreatedMarker, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&created), sizeof created);
}

LSTATUS WriteKovraAPO(HKEY fxKey, const FxSlots& current, FxOutcome& outcome) {
    const RawValue kovra = TextValue(KovraClsidText());
    for (FxSlot slot : kFxSlots) {
        if (current.HoldsKovraAPO(slot)) {
            continue;
        }
        const LSTATUS status = SetRaw(fxKey, FxSlotValueName(slot), kovra);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        outcome.slotChanged[Index(slot)] = true;
        outcome.slotValues[Index(slot)] = current[slot];
    }
    return ERROR_SUCCESS;
}

// Takes back a failed install: the slots already written, and the keys it created.
void UndoInstall(RegistryKey& fxKey, const FxSlots& current, const FxOutcome& written,
                 const std::wstring& fxPath, bool fxKeyCreated, const std::wstring& savedPath,
                 bool savedKeyCreated) {
    for (FxSlot slot : kFxSlots) {
        if (written.slotChanged[Index(slot)]) {
            RestoreSlot(fxKey.Get(), slot, current[slot]);
        }
    }
    fxKey.Close();
    if (savedKeyCreated) {
        DeleteKey(savedPath);
    }
    if (fxKeyCreated) {
        DeleteKey(fxPath);
    }
}

bool SavedMarkerSet(HKEY savedKey) {
    DWORD marker = 0;
    DWORD size = sizeof marker;
    DWORD type = REG_NONE;
    return savedKey &&
           RegQueryValueExW(savedKey, kCreatedMarker, nullptr, &type,
                            reinterpret_cast<BYTE*>(&marker), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && marker != 0;
}

} // namespace

const wchar_t* FxSlotValueName(FxSlot slot) {
    return slot == FxSlot::PreMix ? L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1"
                                  : L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5";
}

const wchar_t* FxSlotName(FxSlot slot) {
    return slot == FxSlot::PreMix ? L"pre-mix" : L"stream";
}

std::wstring FxPropertiesPath(const std::wstring& endpointGuid) {
    return kRenderEndpoints + endpointGuid + L"\\FxProperties";
}

std::wstring ReplacedEffectsPath(const std::wstring& endpointGuid) {
    return kReplacedEffects + endpointGuid;
}

const std::wstring& KovraClsidText() {
    static const std::wstring text = [] {
        wchar_t buffer[40] = {};
        StringFromGUID2(CLSID_KovraAPO, buffer, 40);
        return std::wstring(buffer);
    }();
    return text;
}

bool HoldsKovraAPO(const RawValue& value) {
    for (const std::wstring& text : TextsOf(value)) {
        if (_wcsicmp(text.c_str(), KovraClsidText().c_str()) == 0) {
            return true;
        }
    }
    return false;
}

bool FxSlots::HoldsKovraAPO(FxSlot slot) const {
    const std::optional<RawValue>& value = (*this)[slot];
    return value && ::HoldsKovraAPO(*value);
}

LSTATUS ReadFxSlots(const std::wstring& endpointGuid, FxSlots& slots) {
    slots = FxSlots{};
    RegistryKey key;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, FxPropertiesPath(endpointGuid).c_str(),
                                         0, KEY_QUERY_VALUE | kView, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    return status == ERROR_SUCCESS ? ReadSlots(key.Get(), slots) : status;
}

FxOutcome InstallEffect(const std::wstring& endpointGuid) {
    if (!controlPlatform.processIsElevated()) {
        return Outcome(FxChange::NotElevated);
    }
    std::wstring endpointPath;
    LSTATUS status = CheckEndpointKey(endpointGuid, endpointPath);
    if (status != ERROR_SUCCESS) {
        return MissingEndpointOr(status, endpointPath);
    }
    const std::wstring fxPath = FxPropertiesPath(endpointGuid);
    RegistryKey fxKey;
    bool fxKeyCreated = false;
    status = CreateReadWrite(fxPath, fxKey, fxKeyCreated);
    if (status != ERROR_SUCCESS) {
        return RegistryFailure(status, fxPath);
    }
    FxSlots current;
    status = ReadSlots(fxKey.Get(), current);
    if (status != ERROR_SUCCESS) {
        fxKey.Close();
        if (fxKeyCreated) {
            DeleteKey(fxPath);
        }
        return RegistryFailure(status, fxPath);
    }
    if (current.HoldsKovraAPO(FxSlot::PreMix) && current.HoldsKovraAPO(FxSlot::Stream)) {
        return Outcome(FxChange::AlreadyInstalled);
    }
    const std::wstring savedPath = ReplacedEffectsPath(endpointGuid);
    RegistryKey savedKey;
    bool savedKeyCreated = false;
    FxOutcome outcome = Outcome(FxChange::Installed);
    std::wstring failedPath = savedPath;
    status = CreateReadWrite(savedPath, savedKey, savedKeyCreated);
    if (status == ERROR_SUCCESS) {
        status = SaveReplaced(savedKey.Get(), current, fxKeyCreated);
    }
    if (status == ERROR_SUCCESS) {
        failedPath = fxPath;
        status = WriteKovraAPO(fxKey.Get(), current, outcome);
    }
    if (status != ERROR_SUCCESS) {
        savedKey.Close();
        UndoInstall(fxKey, current, outcome, fxPath, fxKeyCreated, savedPath, savedKeyCreated);
        return RegistryFailure(status, failedPath);
    }
    return outcome;
}

FxOutcome UninstallEffect(const std::wstring& endpointGuid) {
    if (!controlPlatform.processIsElevated()) {
        return Outcome(FxChange::NotElevated);
    }
    const std::wstring fxPath = FxPropertiesPath(endpointGuid);
    RegistryKey fxKey;
    LSTATUS status =
        controlPlatform.openKey(HKEY_LOCAL_MACHINE, fxPath.c_str(), 0, kReadWrite, fxKey.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        std::wstring endpointPath;
        status = CheckEndpointKey(endpointGuid, endpointPath);
        return status == ERROR_SUCCESS ? Outcome(FxChange::NotInstalled)
                                       : MissingEndpointOr(status, endpointPath);
    }
    FxSlots current;
    if (status == ERROR_SUCCESS) {
        status = ReadSlots(fxKey.Get(), current);
    }
    if (status != ERROR_SUCCESS) {
        return RegistryFailure(status, fxPath);
    }
    if (!current.HoldsKovraAPO(FxSlot::PreMix) && !current.HoldsKovraAPO(FxSlot::Stream)) {
        return Outcome(FxChange::NotInstalled);
    }
    const std::wstring savedPath = ReplacedEffectsPath(endpointGuid);
    RegistryKey savedKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, savedPath.c_str(), 0, KEY_QUERY_VALUE | kView,
                      savedKey.Receive()) != ERROR_SUCCESS) {
        savedKey.Close(); // nothing saved: the slots are emptied
    }
    FxOutcome outcome = Outcome(FxChange::Uninstalled);
    for (FxSlot slot : kFxSlots) {
        if (!current.HoldsKovraAPO(slot)) {
            continue; // another effect took the slot since; it stays
        }
        std::optional<RawValue> saved;
        if (savedKey.Get()) {
            ReadRawValue(savedKey.Get(), FxSlotValueName(slot), saved);
        }
        status = RestoreSlot(fxKey.Get(), slot, saved);
        if (status != ERROR_SUCCESS) {
            // The saved values stay, so that another uninstall can still put them back.
            return RegistryFailure(status, fxPath);
        }
        outcome.slotChanged[Index(slot)] = true;
        outcome.slotValues[Index(slot)] = saved;
    }
    const bool removeFxKey = SavedMarkerSet(savedKey.Get()) && KeyIsEmpty(fxKey.Get());
    fxKey.Close();
    savedKey.Close();
    if (removeFxKey) {
        DeleteKey(fxPath);
    }
    DeleteKey(savedPath);
    return outcome;
}
