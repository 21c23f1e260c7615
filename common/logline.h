// Composition of one trace log line, kept apart from the file and the set-up so that its exact
// bytes can be checked on their own.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

struct LogLineOrigin {
    SYSTEMTIME localTime;
    DWORD threadId;
    const char* sourceFile;
    int line;
    const void* object;
};

// The bytes the log stores for a wide text: a character below 256 as that byte, any other
// UTF-16 unit as "?" (so a character outside the basic plane gives "??"), and each LF as
// CR LF.
std::string ToLogBytes(const std::wstring& text);

// Header, "(TRACE) " for trace lines, the expanded message and the line end, as file bytes.
// The format is a wide format of the platform convention ("%s" wide, "%S" narrow) and may
// expand to any length. Empty when the format cannot be expanded; allocation failures
// propagate.
std::string MakeLogLine(const LogLineOrigin& origin, bool isTrace, const wchar_t* format,
                        va_list arguments);
