// Writing and deleting the audio engine's entry for a processing object.
#include "aporegistration.h"

#include "registryresult.h"
#include "registrywrites.h"

#include <objbase.h>

#include <cwchar>
#include <iterator>

namespace {

constexpr int kTextCapacity = 512;

LSTATUS CreateWritableKey(HKEY parent, const wchar_t* path, RegistryKey& key) {
    return registryWrites.createKey(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                    nullptr, key.Receive(), nullptr);
}

// REG_SZ with the terminator counted, as the audio engine reads it.
LSTATUS SetText(HKEY key, const wchar_t* name, const wchar_t* text, size_t characters) {
    return registryWrites.setValue(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   static_cast<DWORD>(characters * sizeof(wchar_t)));
}

LSTATUS SetText(HKEY key, const wchar_t* name, const wchar_t* text) {
    return SetText(key, name, text, std::wcslen(text) + 1);
}

LSTATUS SetNumber(HKEY key, const wchar_t* name, DWORD value) {
    return registryWrites.setValue(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof value);
}

LSTATUS WriteRecordValues(HKEY key, const APO_REG_PROPERTIES& properties) {
    const struct {
        const wchar_t* name;
        DWORD value;
    } numbers[] = {
        {L"MajorVersion", properties.u32MajorVersion},
        {L"MinorVersion", properties.u32MinorVersion},
        {L"Flags", static_cast<DWORD>(properties.Flags)},
        {L"MinInputConnections", properties.u32MinInputConnections},
        {L"MaxInputConnections", properties.u32MaxInputConnections},
        {L"MinOutputConnections", properties.u32MinOutputConnections},
        {L"MaxOutputConnections", properties.u32MaxOutputConnections},
        {L"MaxInstances", properties.u32MaxInstances},
        {L"NumAPOInterfaces", properties.u32NumAPOInterfaces},
    };
    LSTATUS status = SetText(key, L"FriendlyName", properties.szFriendlyName);
    if (status == ERROR_SUCCESS) {
        status = SetText(key, L"Copyright", properties.szCopyrightInfo);
    }
    for (const auto& number : numbers) {
        if (status != ERROR_SUCCESS) {
            break;
        }
        status = SetNumber(key, number.name, number.value);
    }
    return status;
}

LSTATUS WriteInterfaceValues(HKEY key, const APO_REG_PROPERTIES& properties) {
    for (UINT32 index = 0; index < properties.u32NumAPOInterfaces; ++index) {
        wchar_t name[kTextCapacity];
        _snwprintf(name, kTextCapacity, L"APOInterface%u", index);
        name[kTextCapacity - 1] = L'\0';
        wchar_t iidText[kTextCapacity];
        const int characters =
            StringFromGUID2(properties.iidAPOInterfaceList[index], iidText, kTextCapacity);
        const LSTATUS status = SetText(key, name, iidText, static_cast<size_t>(characters));
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

HRESULT WriteAPORegistration(const APO_REG_PROPERTIES& properties) {
    // The record has room for one interface id; a larger count would read past it.
    if (properties.u32NumAPOInterfaces > std::size(properties.iidAPOInterfaceList)) {
        return E_INVALIDARG;
    }
    RegistryKey objectsKey;
    LSTATUS status = CreateWritableKey(HKEY_CLASSES_ROOT, kAudioEngineObjectsKey, objectsKey);
    if (status != ERROR_SUCCESS) {
        return RegistryResult(status);
    }
    wchar_t clsidText[kTextCapacity];
    StringFromGUID2(properties.clsid, clsidText, kTextCapacity);
    // An entry left by an earlier registration goes first, so no stale value of it survives.
    RegDeleteKeyExW(objectsKey.Get(), clsidText, 0, 0);
    RegistryKey entryKey;
    status = CreateWritableKey(objectsKey.Get(), clsidText, entryKey);
    if (status == ERROR_SUCCESS) {
        status = WriteRecordValues(entryKey.Get(), properties);
    }
    if (status == ERROR_SUCCESS) {
        status = WriteInterfaceValues(entryKey.Get(), properties);
    }
    return RegistryResult(status);
}

HRESULT DeleteAPORegistration(REFCLSID clsid) {
    RegistryKey objectsKey;
    const LSTATUS opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, kAudioEngineObjectsKey, 0, KEY_WRITE,
                                         objectsKey.Receive());
    if (opened != ERROR_SUCCESS) {
        return RegistryResult(opened);
    }
    wchar_t clsidText[kTextCapacity];
    StringFromGUID2(clsid, clsidText, kTextCapacity);
    return RegistryResult(RegDeleteKeyExW(objectsKey.Get(), clsidText, 0, 0));
}
