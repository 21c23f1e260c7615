// Result codes as kovractl prints them.
#pragma once

#include <windows.h>

#include <string>

// "0x80070005 (Access is denied.)", or the code alone when the system has no text for it.
std::wstring DescribeResult(HRESULT result);
