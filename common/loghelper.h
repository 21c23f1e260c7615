// Diagnostics: the trace log, the registry value reader that switches it, and the texts of
// engine result codes and HRESULTs that log lines carry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Appends one line to "KovraAPO.log" in the temporary folder. Error lines (isTrace false) are
// always written; trace lines only while the registry switch "EnableTrace" allows. The format
// is a wide printf format of the platform convention ("%s" wide, "%S" narrow). Never throws and
// never reports a failure.
void LogMessage(const char* sourceFile, int line, const void* object, bool isTrace,
                const wchar_t* format, ...);

// Name of an engine result code, "KovraResult_?" for codes outside the table.
std::wstring ResultCodeName(int32_t code);
