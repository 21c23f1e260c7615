// A COM class as its registration names it: the CLSID's text and the module of its in-process
// server, which the host and the control tool both look up.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

// "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}"
inline std::wstring ClsidText(REFCLSID clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return text;
}

// The module HKCR\CLSID\{clsid}\InprocServer32 names, environment strings expanded (RRF_RT_REG_SZ
// takes REG_EXPAND_SZ too); empty when the class has none.
inline std::wstring RegisteredServerPath(REFCLSID clsid) {
    const std::wstring key = L"CLSID\\" + ClsidText(clsid) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    return path;
}
