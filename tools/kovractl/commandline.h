// kovractl's command line: list, set, install, uninstall, cleanup, enable-effects, help and
// version.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class CommandKind { List, Set, Install, Uninstall, Cleanup, EnableEffects, Help, Version };

struct Command {
    CommandKind kind = CommandKind::Help;
    std::wstring endpoint;     // for set, install, uninstall and enable-effects
    bool allEndpoints = false; // uninstall --all
    bool force = false;        // install and uninstall --force
    std::optional<UINT32> enable;
    std::optional<UINT32> mode;
};

struct ParsedCommandLine {
    Command command;
    std::wstring error; // empty when the command line is good
};

// `arguments` without the program's name.
ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

std::wstring UsageText();
