// Wide text to the console, or UTF-8 with CR LF line ends when the output is redirected, so
// endpoint names in any script survive both.
#pragma once

#include <windows.h>

#include <string>

// Line ends as Windows tools write them, and UTF-8.
std::string RedirectedBytes(const std::wstring& text);

void WriteText(DWORD standardHandle, const std::wstring& text);
