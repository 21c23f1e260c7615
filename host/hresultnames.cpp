#include "hresultnames.h"

#include "apocontract.h"

#include <cstdio>

namespace {

struct NamedCode {
    HRESULT code;
    const char* name;
};

constexpr NamedCode kNamedCodes[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {E_POINTER, "E_POINTER"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_FAIL, "E_FAIL"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {E_ACCESSDENIED, "E_ACCESSDENIED"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL"},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "ERROR_MOD_NOT_FOUND"},
    {APOERR_ALREADY_INITIALIZED, "APOERR_ALREADY_INITIALIZED"},
    {APOERR_NOT_INITIALIZED, "APOERR_NOT_INITIALIZED"},
    {APOERR_FORMAT_NOT_SUPPORTED, "APOERR_FORMAT_NOT_SUPPORTED"},
    {APOERR_INVALID_APO_CLSID, "APOERR_INVALID_APO_CLSID"},
    {APOERR_BUFFERS_OVERLAP, "APOERR_BUFFERS_OVERLAP"},
    {APOERR_ALREADY_UNLOCKED, "APOERR_ALREADY_UNLOCKED"},
    {APOERR_NUM_CONNECTIONS_INVALID, "APOERR_NUM_CONNECTIONS_INVALID"},
    {APOERR_INVALID_OUTPUT_MAXFRAMECOUNT, "APOERR_INVALID_OUTPUT_MAXFRAMECOUNT"},
    {APOERR_INVALID_CONNECTION_FORMAT, "APOERR_INVALID_CONNECTION_FORMAT"},
    {APOERR_APO_LOCKED, "APOERR_APO_LOCKED"},
};

std::string SystemText(HRESULT code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                                 text.back() == '.')) {
            text.pop_back();
        }
    }
    LocalFree(buffer);
    return text;
}

} // namespace

std::string DescribeHResult(HRESULT code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    for (const NamedCode& named : kNamedCodes) {
        if (named.code == code) {
            return std::string(named.name) + " (" + hex + ")";
        }
    }
    const std::string text = SystemText(code);
    return text.empty() ? std::string(hex) : std::string(hex) + " (" + text + ")";
}

std::string SystemErrorText(DWORD code) {
    const std::string text = SystemText(HRESULT_FROM_WIN32(code));
    return text.empty() ? "error " + std::to_string(code) : text;
}
