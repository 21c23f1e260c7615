// The module's load-time work. Both dynamic initialisations live in this one file because the
// language orders them only within a file: the engine's one-time initialisation runs first, then
// the registration record is filled; DllMain's own work comes after both.
#include "modulestate.h"

#include "kovraapo.h"
#include "kovraengine.h"
#include "kovraids.h"

#include <cwchar>

HMODULE moduleHandle = nullptr;
std::atomic<LONG> lockCount{0};

namespace {

constexpr wchar_t kFriendlyName[] = L"KovraAPO";
constexpr wchar_t kCopyrightNotice[] = L"Copyright (C) Kovra Audio. All rights reserved.";

// Keeps at most 255 characters and always terminates, whatever the source's length.
template <size_t Capacity> void CopyBounded(WCHAR (&target)[Capacity], const wchar_t* source) {
    std::wcsncpy(target, source, Capacity - 1);
    target[Capacity - 1] = L'\0';
}

bool StartEngineOnce() {
    engineStartupResult = Kovra_initialize(kEngineConfigurationPath);
    return true;
}

APO_REG_PROPERTIES MakeRegistrationProperties() {
    APO_REG_PROPERTIES record{};
    record.clsid = CLSID_KovraAPO;
    record.Flags = static_cast<APO_FLAG>(APO_FLAG_FRAMESPERSECOND_MUST_MATCH |
                                         APO_FLAG_BITSPERSAMPLE_MUST_MATCH);
    CopyBounded(record.szFriendlyName, kFriendlyName);
    CopyBounded(record.szCopyrightInfo, kCopyrightNotice);
    record.u32MajorVersion = 1;
    record.u32MinorVersion = 0;
    record.u32MinInputConnections = 1;
    record.u32MaxInputConnections = 1;
    record.u32MinOutputConnections = 1;
    record.u32MaxOutputConnections = 1;
    record.u32MaxInstances = 3;
    record.u32NumAPOInterfaces = 1;
    record.iidAPOInterfaceList[0] = IID_IAudioProcessingObject;
    return record;
}

// Order matters: these two definitions must stay in this order and in this file.
const bool engineStarted = StartEngineOnce();

} // namespace

const APO_REG_PROPERTIES registrationProperties = MakeRegistrationProperties();
