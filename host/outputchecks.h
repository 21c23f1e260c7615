// What the host checks about its output before any audio is processed, in words a person can
// act on, by what the file system itself says.
#pragma once

#include <string>

// One file under two names (a hard or symbolic link, another case where names ignore case) is
// the same file: compared by what the names open, by path where neither can be opened.
bool SameFile(const std::wstring& first, const std::wstring& second);

// What would keep the output from being written (a folder, a folder that does not exist); empty
// when nothing does.
std::string OutputProblem(const std::wstring& output);
