// Builds the bytes of one log line: "2021-02-03 09:05:07.042 1234 0000ABCD (file.cpp:42): "
// then "(TRACE) " for trace lines, the message and CR LF.
#include "logline.h"

#include <cstdint>
#include <cwchar>

namespace {

constexpr wchar_t headerFormat[] = L"%04d-%02d-%02d %02d:%02d:%02d.%03d %d %08X (%S:%d): ";
constexpr wchar_t traceMarker[] = L"(TRACE) ";

// Only the underscore family keeps "%s" wide under mingw, whatever its ANSI stdio switch says.
bool FormatWide(std::wstring& text, const wchar_t* format, va_list arguments) {
    va_list countArguments;
    va_copy(countArguments, arguments);
    const int length = _vscwprintf(format, countArguments);
    va_end(countArguments);
    if (length < 0) {
        return false;
    }
    text.resize(static_cast<size_t>(length) + 1);
    const int written = _vsnwprintf(&text[0], text.size(), format, arguments);
    if (written != length) {
        return false;
    }
    text.resize(static_cast<size_t>(length));
    return true;
}

bool FormatWideList(std::wstring& text, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const bool formatted = FormatWide(text, format, arguments);
    va_end(arguments);
    return formatted;
}

} // namespace

std::string ToLogBytes(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size() + 2);
    for (const wchar_t character : text) {
        if (character == L'\n') {
            bytes += "\r\n";
        } else if (character < 256) {
            bytes += static_cast<char>(character);
        } else {
            // Per UTF-16 unit, as the runtime's own conversion: a surrogate pair gives "??".
            bytes += '?';
        }
    }
    return bytes;
}

std::string MakeLogLine(const LogLineOrigin& origin, bool isTrace, const wchar_t* format,
                        va_list arguments) {
    std::wstring message;
    if (format == nullptr || !FormatWide(message, format, arguments)) {
        return std::string();
    }
    // Only the low half of a 64-bit address fits the eight digits of the header.
    const uint32_t objectLowBits =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(origin.object));
    const SYSTEMTIME& time = origin.localTime;
    std::wstring text;
    if (!FormatWideList(text, headerFormat, time.wYear, time.wMonth, time.wDay, time.wHour,
                        time.wMinute, time.wSecond, time.wMilliseconds,
                        static_cast<int>(origin.threadId), objectLowBits,
                        origin.sourceFile != nullptr ? origin.sourceFile : "", origin.line)) {
        return std::string();
    }
    if (isTrace) {
        text += traceMarker;
    }
    text += message;
    text += L'\n';
    return ToLogBytes(text);
}
