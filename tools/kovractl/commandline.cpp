#include "commandline.h"

#include <cerrno>
#include <cwctype>
#include <cwchar>

namespace {

struct CommandName {
    const wchar_t* name;
    CommandKind kind;
};

constexpr CommandName kCommands[] = {
    {L"list", CommandKind::List},         {L"set", CommandKind::Set},
    {L"install", CommandKind::Install},   {L"uninstall", CommandKind::Uninstall},
    {L"cleanup", CommandKind::Cleanup},   {L"enable-effects", CommandKind::EnableEffects},
    {L"help", CommandKind::Help},         {L"--help", CommandKind::Help},
    {L"-h", CommandKind::Help},           {L"/?", CommandKind::Help},
    {L"--version", CommandKind::Version}, {L"version", CommandKind::Version},
};

ParsedCommandLine Error(const std::wstring& message) {
    return {Command{}, message};
}

// Decimal or 0x-hexadecimal, 0 to 4294967295, nothing else around it.
bool ParseUInt32(const std::wstring& text, UINT32& value) {
    if (text.empty() || !std::iswdigit(text.front())) {
        return false;
    }
    const bool hexadecimal =
        text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::wcstoull(text.c_str(), &end, hexadecimal ? 16 : 10);
    if (errno != 0 || *end != L'\0' || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<UINT32>(parsed);
    return true;
}

// One "enable=N" or "mode=N" of `set`; an empty result means it was taken.
std::wstring TakeAssignment(const std::wstring& argument, Command& command) {
    const size_t equals = argument.find(L'=');
    const std::wstring name = argument.substr(0, equals);
    std::optional<UINT32>* target = name == L"enable" ? &command.enable
                                    : name == L"mode" ? &command.mode
                                                      : nullptr;
    if (!target) {
        return L"unknown setting \"" + argument + L"\" (expected enable=N or mode=N)";
    }
    if (equals == std::wstring::npos || equals + 1 == argument.size()) {
        return L"\"" + argument + L"\" has no value (expected " + name + L"=N)";
    }
    if (*target) {
        return name + L" is given twice";
    }
    const std::wstring text = argument.substr(equals + 1);
    UINT32 value = 0;
    if (!ParseUInt32(text, value)) {
        return L"\"" + argument + L"\": \"" + text + L"\" is not a number from 0 to 4294967295";
    }
    *target = value;
    return L"";
}

ParsedCommandLine ParseSet(const std::vector<std::wstring>& arguments, Command command) {
    for (size_t index = 2; index < arguments.size(); ++index) {
        const std::wstring error = TakeAssignment(arguments[index], command);
        if (!error.empty()) {
            return Error(error);
        }
    }
    if (!command.enable && !command.mode) {
        return Error(L"set needs enable=N, mode=N or both");
    }
    return {command, L""};
}

// install ENDPOINT [--force], uninstall (ENDPOINT | --all) [--force].
ParsedCommandLine ParseEffectChange(const std::vector<std::wstring>& arguments, Command command,
                                    const std::wstring& commandName) {
    const bool uninstall = command.kind == CommandKind::Uninstall;
    for (size_t index = 1; index < arguments.size(); ++index) {
        const std::wstring& argument = arguments[index];
        bool* flag = argument == L"--force"              ? &command.force
                     : argument == L"--all" && uninstall ? &command.allEndpoints
                                                         : nullptr;
        if (flag && *flag) {
            return Error(argument + L" is given twice");
        }
        if (flag) {
            *flag = true;
        } else if (argument.rfind(L"--", 0) == 0) {
            return Error(L"unknown option \"" + argument + L"\" for " + commandName);
        } else if (command.endpoint.empty() && !argument.empty()) {
            command.endpoint = argument;
        } else {
            return Error(L"unexpected argument \"" + argument + L"\"");
        }
    }
    if (command.allEndpoints && !command.endpoint.empty()) {
        return Error(L"uninstall takes an ENDPOINT or --all, not both");
    }
    if (command.endpoint.empty() && !command.allEndpoints) {
        return Error(commandName +
                     (uninstall ? L" needs an ENDPOINT or --all" : L" needs an ENDPOINT"));
    }
    return {command, L""};
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    if (arguments.empty()) {
        return Error(L"no command given");
    }
    const CommandName* found = nullptr;
    for (const CommandName& candidate : kCommands) {
        if (arguments[0] == candidate.name) {
            found = &candidate;
        }
    }
    if (!found) {
        return Error(L"unknown command \"" + arguments[0] + L"\"");
    }
    Command command;
    command.kind = found->kind;
    if (command.kind == CommandKind::Install || command.kind == CommandKind::Uninstall) {
        return ParseEffectChange(arguments, command, found->name);
    }
    if (command.kind == CommandKind::EnableEffects) {
        if (arguments.size() != 2 || arguments[1].empty() || arguments[1].rfind(L"--", 0) == 0) {
            return Error(L"enable-effects needs one ENDPOINT");
        }
        command.endpoint = arguments[1];
        return {command, L""};
    }
    if (command.kind != CommandKind::Set) {
        return arguments.size() == 1 ? ParsedCommandLine{command, L""}
                                     : Error(std::wstring(found->name) + L" takes no arguments");
    }
    if (arguments.size() < 2 || arguments[1].empty()) {
        return Error(L"set needs an ENDPOINT");
    }
    command.endpoint = arguments[1];
    return ParseSet(arguments, command);
}

std::wstring UsageText() {
    return L"kovractl"
           L" " KOVRA_VERSION L": puts the KovraAPO effect on a render endpoint and switches its "
           L"presets.\n"
           L"\n"
           L"Usage:\n"
           L"  kovractl list                         render endpoints, their effects and "
           L"settings\n"
           L"  kovractl set ENDPOINT enable=N mode=N  set either property or both (VT_UI4)\n"
           L"  kovractl install ENDPOINT [--force]    make KovraAPO the endpoint's stream "
           L"effect\n"
           L"  kovractl uninstall ENDPOINT [--force]  put back the effects it replaced\n"
           L"  kovractl uninstall --all [--force]     the same on every endpoint that has it\n"
           L"  kovractl cleanup                      remove HKLM\\SOFTWARE\\KovraAPO once no "
           L"endpoint\n"
           L"                                        needs the backups kept there\n"
           L"  kovractl enable-effects ENDPOINT      switch the endpoint's system effects back on\n"
           L"                                        after Windows switched them off\n"
           L"  kovractl help | --version\n"
           L"\n"
           L"ENDPOINT is an endpoint id, a piece of a friendly name that only one endpoint "
           L"has,\n"
           L"or \"default\". Numbers are decimal or 0x-hexadecimal. All commands but list, help\n"
           L"and --version need an elevated command prompt. install --force installs although the\n"
           L"effect cannot be loaded; uninstall --force takes KovraAPO out although no backup\n"
           L"says what the endpoint held before.\n"
           L"\n"
           L"Exit codes: 0 done, 1 failed, 2 bad arguments or no such endpoint,\n"
           L"3 refused (not elevated, or the registry key is not writable),\n"
           L"4 refused to protect the endpoint (nothing changed; the message says why).\n";
}
