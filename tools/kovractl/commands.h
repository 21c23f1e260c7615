// The commands, run against a source of endpoints. Each writes what it has to say into
// `text` and returns the program's exit code.
#pragma once

#include "commandline.h"
#include "endpointsource.h"

#include <string>

struct ConsoleText {
    std::wstring out;
    std::wstring err;
};

enum ExitCode {
    kExitDone = 0,
    kExitFailed = 1,
    kExitBadArguments = 2,
    kExitRefused = 3, // not elevated, or the registry refused a key
    // Refused so that nothing the endpoint holds is lost and nothing is written that cannot
    // load: the effect cannot be created, no backup, or backups still needed. Nothing changed.
    kExitProtected = 4,
};

int RunCommand(const Command& command, EndpointSource& endpoints, ConsoleText& text);

int RunList(EndpointSource& endpoints, ConsoleText& text);
int RunSet(const Command& command, EndpointSource& endpoints, ConsoleText& text);
int RunInstall(const Command& command, EndpointSource& endpoints, ConsoleText& text);
int RunUninstall(const Command& command, EndpointSource& endpoints, ConsoleText& text);
int RunCleanup(EndpointSource& endpoints, ConsoleText& text);
int RunEnableEffects(const Command& command, EndpointSource& endpoints, ConsoleText& text);

// Shared by the commands.
struct ChosenEndpoint {
    EndpointInfo info;
    std::wstring guid; // braces included
};

// kExitDone with `chosen` filled, or the exit code after the reason went to text.err.
int ChooseEndpointFor(const Command& command, EndpointSource& endpoints, ConsoleText& text,
                      ChosenEndpoint& chosen);

int Fail(ConsoleText& text, int exitCode, const std::wstring& message);

// "Speakers (…)  {0.0.0.00000000}.{…}"
std::wstring EndpointLine(const EndpointInfo& endpoint);

// The listed endpoint whose registry key is `guid`; one named by its id alone when none is.
EndpointInfo EndpointOfGuid(const std::vector<EndpointInfo>& listed, const std::wstring& guid);

// How to make Windows read the endpoints' effects again.
extern const wchar_t kRestartAdvice[];

// "needs administrator rights" for a caller that is not elevated.
int NotElevated(ConsoleText& text, const wchar_t* commandName);
