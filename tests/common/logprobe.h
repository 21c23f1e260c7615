// The functions the log probe DLL exports to the trace log tests.
#pragma once

using LogMessageFunction = void (*)(const char* sourceFile, int line, const void* object,
                                    bool isTrace, const wchar_t* format, ...);
using GetLogMessageFunction = LogMessageFunction (*)();
using FailAllocationsFunction = void (*)(bool fail);

constexpr wchar_t logProbeModuleName[] = L"kovra_logprobe.dll";
constexpr char getLogMessageExport[] = "GetLogMessage";
constexpr char failAllocationsExport[] = "FailAllocations";
