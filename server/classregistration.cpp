// Writing and removing the effect's COM class entry.
#include "classregistration.h"

#include "registryresult.h"
#include "registrywrites.h"

#include <objbase.h>

#include <cwchar>
#include <memory>

namespace {

constexpr REGSAM kClassKeyAccess = KEY_SET_VALUE | KEY_WOW64_64KEY;
constexpr wchar_t kClassName[] = L"KovraAPO";
constexpr wchar_t kThreadingModel[] = L"Both";

struct CoTaskMemDeleter {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

// A key of the class entry, remembering whether this registration brought it into being.
struct ClassKey {
    RegistryKey key;
    bool created = false;
};

LSTATUS CreateClassKey(const wchar_t* path, ClassKey& classKey) {
    DWORD disposition = 0;
    const LSTATUS status =
        registryWrites.createKey(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 kClassKeyAccess, nullptr, classKey.key.Receive(), &disposition);
    classKey.created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

LSTATUS SetText(HKEY key, const wchar_t* name, const wchar_t* text) {
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return registryWrites.setValue(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   bytes);
}

void DeleteClassKey(const wchar_t* path) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY, 0);
}

} // namespace

HRESULT FormClassKeyPaths(REFCLSID clsid, ClassKeyPaths& paths) {
    LPOLESTR allocated = nullptr;
    const HRESULT formed = StringFromCLSID(clsid, &allocated);
    if (FAILED(formed)) {
        return formed;
    }
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> clsidText(allocated);
    _snwprintf(paths.classKey, kClassKeyPathCapacity, L"SOFTWARE\\Classes\\CLSID\\%ls",
               clsidText.get());
    paths.classKey[kClassKeyPathCapacity - 1] = L'\0';
    _snwprintf(paths.serverKey, kClassKeyPathCapacity, L"%ls\\InprocServer32", paths.classKey);
    paths.serverKey[kClassKeyPathCapacity - 1] = L'\0';
    return S_OK;
}

HRESULT WriteClassRegistration(const ClassKeyPaths& paths, const wchar_t* modulePath) {
    ClassKey classKey;
    ClassKey serverKey;
    LSTATUS status = CreateClassKey(paths.classKey, classKey);
    if (status == ERROR_SUCCESS) {
        status = SetText(classKey.key.Get(), nullptr, kClassName);
    }
    if (status == ERROR_SUCCESS) {
        status = CreateClassKey(paths.serverKey, serverKey);
    }
    if (status == ERROR_SUCCESS) {
        status = SetText(serverKey.key.Get(), nullptr, modulePath);
    }
    if (status == ERROR_SUCCESS) {
        status = SetText(serverKey.key.Get(), L"ThreadingModel", kThreadingModel);
    }
    if (status != ERROR_SUCCESS) {
        // A class entry without its server cannot be created by COM: take back what is new.
        serverKey.key.Close();
        classKey.key.Close();
        if (serverKey.created) {
            DeleteClassKey(paths.serverKey);
        }
        if (classKey.created) {
            DeleteClassKey(paths.classKey);
        }
    }
    return RegistryResult(status);
}

void DeleteClassRegistration(const ClassKeyPaths& paths) {
    DeleteClassKey(paths.serverKey);
    DeleteClassKey(paths.classKey);
}
