// The endpoint's system-effect slots in the registry, and putting KovraAPO into them and taking
// it out again. What an install replaces is saved under the product's own key and put back,
// byte for byte, by the uninstall.
#pragma once

#include "registryvalue.h"

#include <array>
#include <optional>
#include <string>

enum class FxSlot { PreMix, Stream };
inline constexpr std::array<FxSlot, 2> kFxSlots = {FxSlot::PreMix, FxSlot::Stream};

// The value name of a slot under the endpoint's FxProperties key.
const wchar_t* FxSlotValueName(FxSlot slot);
// "pre-mix" or "stream".
const wchar_t* FxSlotName(FxSlot slot);

// Paths under HKEY_LOCAL_MACHINE (64-bit view) for an endpoint's GUID, braces included.
std::wstring FxPropertiesPath(const std::wstring& endpointGuid);
std::wstring ReplacedEffectsPath(const std::wstring& endpointGuid);

// "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}"
const std::wstring& KovraClsidText();

// True when the value names KovraAPO's class.
bool HoldsKovraAPO(const RawValue& value);

struct FxSlots {
    bool keyExists = false;
    std::array<std::optional<RawValue>, 2> values; // indexed by FxSlot
    const std::optional<RawValue>& operator[](FxSlot slot) const {
        return values[static_cast<size_t>(slot)];
    }
    std::optional<RawValue>& operator[](FxSlot slot) { return values[static_cast<size_t>(slot)]; }
    bool HoldsKovraAPO(FxSlot slot) const;
};

// ERROR_SUCCESS also when the endpoint has no FxProperties key (keyExists is then false).
LSTATUS ReadFxSlots(const std::wstring& endpointGuid, FxSlots& slots);

enum class FxChange {
    Installed,
    AlreadyInstalled,
    Uninstalled,
    NotInstalled,
    NotElevated,  // refused before anything was touched
    AccessDenied, // the registry refused `keyPath`
    NoEndpointKey,
    Failed, // another registry error, in `status`
};

struct FxOutcome {
    FxChange change = FxChange::Failed;
    LSTATUS status = ERROR_SUCCESS;
    std::wstring keyPath; // the key a refusal or failure concerns, under HKLM
    // Install: what each changed slot held before. Uninstall: what each changed slot holds now.
    // Empty for a slot that was not changed or holds nothing.
    std::array<std::optional<RawValue>, 2> slotValues;
    std::array<bool, 2> slotChanged{};
};

FxOutcome InstallEffect(const std::wstring& endpointGuid);
FxOutcome UninstallEffect(const std::wstring& endpointGuid);
