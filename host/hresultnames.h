// Names of the result codes a host meets, for messages a person can act on.
#pragma once

#include <windows.h>

#include <string>

// "APOERR_FORMAT_NOT_SUPPORTED (0x887D0003)", or the system's text for codes not in the table.
std::string DescribeHResult(HRESULT code);

// The system's words for a Windows error code ("Access is denied"), or its number if it has none.
std::string SystemErrorText(DWORD code);
