// Diagnostics: the trace log, the registry value reader that switches it, and the texts of
// engine result codes and HRESULTs that log lines carry.
#pragma once

// `_com_error` below is this module's own small holder, not the compiler support class of
// <comdef.h>. The two must never meet in one translation unit: include order either way is
// refused (comdef.h first trips the #error; comdef.h later finds its guard already defined
// and adds nothing, so any use of its other classes fails to compile rather than clashing).
#ifdef _INC_COMDEF
#error "loghelper.h declares its own _com_error; do not include <comdef.h> with it"
#endif
#define _INC_COMDEF

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

struct IErrorInfo;

// ---------------------------------------------------------------------------------------------
// Trace log

// Appends one line to "KovraAPO.log" in the temporary folder. Error lines (isTrace false) are
// always written; trace lines only while the registry switch "EnableTrace" allows. The format
// is a wide printf format of the platform convention ("%s" wide, "%S" narrow). Never throws and
// never reports a failure: a line that cannot be made or written is dropped.
void LogMessage(const char* sourceFile, int line, const void* object, bool isTrace,
                const wchar_t* format, ...);

// ---------------------------------------------------------------------------------------------
// Registry value reader

// Every failure of the reader, with a message fit for the log. It carries no error code.
class RegistryException {
public:
    explicit RegistryException(std::wstring message) : message(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message; }

private:
    std::wstring message;
};

struct RegistryKeyPath {
    HKEY root;
    std::wstring subkey;
};

// Splits "ROOT_NAME\sub\key" at its first backslash; the root name is matched without regard
// to the case of a-z against the five full HKEY_ names. Throws RegistryException.
RegistryKeyPath ParseKeyPath(const std::wstring& keyPath);

// The text of the REG_SZ value valueName under keyPath (64-bit registry view), with one
// terminating NUL removed. Throws RegistryException; allocation failures propagate as such.
std::wstring ReadRegistryString(const std::wstring& keyPath, const std::wstring& valueName);

// The system's text for a Windows error code, its final CR LF kept and insert markers such as
// "%1" left as they stand; empty when the system has none.
std::wstring GetSystemErrorText(uint32_t errorCode);

// ---------------------------------------------------------------------------------------------
// Result and error texts

// Name of an engine result code, "KovraResult_?" for codes outside the table.
std::wstring ResultCodeName(int32_t code);

// Holds one failing HRESULT and makes its text on demand.
class _com_error {
public:
    explicit _com_error(HRESULT hr) noexcept : hresult(hr) {}
    virtual ~_com_error();

    _com_error(const _com_error&) = delete;
    _com_error& operator=(const _com_error&) = delete;

    HRESULT Error() const noexcept { return hresult; }

    // The system's text of the HRESULT without its final CR LF, or "IDispatch error #n" /
    // "Unknown error 0x..." when the system has none; made at the first call and kept. Owned
    // by the holder; null only when even the fallback text could not be allocated.
    const char* MessageText() const noexcept;

private:
    HRESULT hresult;
    IErrorInfo* errorInfo = nullptr;
    mutable char* messageText = nullptr;
};
