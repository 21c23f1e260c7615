// Putting KovraAPO into an endpoint's effects where the endpoint's layout makes Windows load it,
// and taking it out again. What an install replaces is recorded first (fxbackup.h) and put back,
// byte for byte, by the uninstall; nothing is taken from the endpoint that cannot be put back,
// and a value someone else wrote since the install is theirs, whatever it holds.
#pragma once

#include "fxlayout.h"

#include <optional>
#include <string>
#include <vector>

enum class FxChange {
    Installed,
    AlreadyInstalled,
    Uninstalled,
    NotInstalled,
    NoBackup,     // uninstall refused: nothing says what the endpoint held before
    NotElevated,  // refused before anything was touched
    AccessDenied, // the registry refused `keyPath`
    NoEndpointKey,
    Failed, // another registry error, in `status`
};

struct FxValueChange {
    enum class How {
        Written,      // install: KovraAPO's value
        Restored,     // uninstall: the value the install replaced
        Emptied,      // uninstall: the value did not exist before the install
        KovraRemoved, // uninstall: KovraAPO taken out of a list that changed since
        ForcedOut,    // uninstall --force without a backup
        TakenSince,   // uninstall: another program wrote the value since; left as it is
        AlreadyBack,  // uninstall: the value is already what the install replaced
    };
    std::wstring name;
    How how = How::Written;
    std::optional<RawValue> before; // absent: the value did not exist
    std::optional<RawValue> after;  // absent: the value is gone
};

struct FxOutcome {
    FxChange change = FxChange::Failed;
    LSTATUS status = ERROR_SUCCESS;
    std::wstring keyPath; // under HKLM: the key a refusal or failure concerns
    FxLayout layout = FxLayout::NoKey;
    std::vector<FxValueChange> values; // for a refusal without backup: what --force would do
    bool backupKept = false;           // after a failure: the record stays for another uninstall
    bool effectFound = false;          // uninstall: an effect value named KovraAPO
};

FxOutcome InstallEffect(const std::wstring& endpointGuid);
// Settles the endpoint's record and takes KovraAPO out of its effect values, whether or not they
// still name it. `force`: take KovraAPO out even where nothing recorded what it replaced.
FxOutcome UninstallEffect(const std::wstring& endpointGuid, bool force);
// What UninstallEffect without `force` would do, changing nothing: NoBackup where it needs
// `force`.
FxOutcome PreviewUninstall(const std::wstring& endpointGuid);

// Whether the endpoint's key exists under the registry's render endpoints.
bool EndpointKeyExists(const std::wstring& endpointGuid);

// The endpoint's FxProperties values; ERROR_SUCCESS with `keyExists` false when it has none.
LSTATUS ReadFxValues(const std::wstring& endpointGuid, bool& keyExists, NamedValues& values);

// The render endpoints (GUIDs, braces included) whose effects name KovraAPO, and every endpoint
// with a backup record, including those whose key is gone, as `uninstall --all` takes them.
LSTATUS EndpointsWithKovraAPO(std::vector<std::wstring>& guids);
