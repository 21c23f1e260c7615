#include "consoleoutput.h"

std::string RedirectedBytes(const std::wstring& text) {
    std::wstring withReturns;
    withReturns.reserve(text.size() + text.size() / 40);
    for (wchar_t character : text) {
        if (character == L'\n') {
            withReturns += L'\r';
        }
        withReturns += character;
    }
    if (withReturns.empty()) {
        return {};
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, withReturns.data(), static_cast<int>(withReturns.size()),
                            nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, withReturns.data(), static_cast<int>(withReturns.size()),
                        bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void WriteText(DWORD standardHandle, const std::wstring& text) {
    const HANDLE handle = GetStdHandle(standardHandle);
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = RedirectedBytes(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
