// The COM class entry of the effect: HKEY_LOCAL_MACHINE "SOFTWARE\Classes\CLSID\{CLSID}" with
// the class name, and its "InprocServer32" subkey naming the module and its threading model,
// both in the 64-bit registry view.
#pragma once

#include <windows.h>

inline constexpr size_t kClassKeyPathCapacity = 128;

struct ClassKeyPaths {
    wchar_t classKey[kClassKeyPathCapacity];
    wchar_t serverKey[kClassKeyPathCapacity];
};

// Fails only when the CLSID's text cannot be formed.
HRESULT FormClassKeyPaths(REFCLSID clsid, ClassKeyPaths& paths);

// Writes both keys. When a key or value cannot be written, the keys that this call created are
// removed again and the converted registry error is returned.
HRESULT WriteClassRegistration(const ClassKeyPaths& paths, const wchar_t* modulePath);

// Removes the server key, then the class key, each only when it has no subkeys; a key that is
// absent or stays is not an error.
void DeleteClassRegistration(const ClassKeyPaths& paths);
