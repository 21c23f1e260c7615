#include "resultdescription.h"

#include <cwchar>

std::wstring DescribeResult(HRESULT result) {
    wchar_t code[16];
    _snwprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(result));
    code[15] = L'\0';
    LPWSTR text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    if (text) {
        LocalFree(text);
    }
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? std::wstring(code) : std::wstring(code) + L" (" + message + L")";
}
