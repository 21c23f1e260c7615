#include "commands.h"

#include "endpointselection.h"
#include "resultdescription.h"

const wchar_t kRestartAdvice[] =
    L"Restart the audio services so that Windows reads the endpoint's effects again: "
    L"net stop AudioEndpointBuilder /y, then net start audiosrv (or reboot).\n";

int Fail(ConsoleText& text, int exitCode, const std::wstring& message) {
    text.err += L"kovractl: " + message + L"\n";
    return exitCode;
}

std::wstring EndpointLine(const EndpointInfo& endpoint) {
    return endpoint.friendlyName.empty() ? endpoint.id
                                         : endpoint.friendlyName + L"  " + endpoint.id;
}

EndpointInfo EndpointOfGuid(const std::vector<EndpointInfo>& listed, const std::wstring& guid) {
    for (const EndpointInfo& endpoint : listed) {
        std::wstring listedGuid;
        if (EndpointGuidOf(endpoint.id, listedGuid) &&
            _wcsicmp(listedGuid.c_str(), guid.c_str()) == 0) {
            return endpoint;
        }
    }
    return {L"{0.0.0.00000000}." + guid, L"", 0};
}

int NotElevated(ConsoleText& text, const wchar_t* commandName) {
    return Fail(text, kExitRefused,
                std::wstring(commandName) +
                    L" needs administrator rights: run kovractl from an elevated command "
                    L"prompt (Run as administrator)");
}

int ChooseEndpointFor(const Command& command, EndpointSource& endpoints, ConsoleText& text,
                      ChosenEndpoint& chosen) {
    std::vector<EndpointInfo> listed;
    const HRESULT result = endpoints.ListRenderEndpoints(listed);
    if (FAILED(result)) {
        return Fail(text, kExitFailed,
                    L"cannot list the render endpoints: " + DescribeResult(result));
    }
    std::wstring defaultId;
    if (FAILED(endpoints.DefaultRenderEndpoint(defaultId))) {
        defaultId.clear();
    }
    const EndpointChoice choice = ChooseEndpoint(command.endpoint, listed, defaultId);
    if (!choice.endpoint) {
        return Fail(text, kExitBadArguments, choice.error);
    }
    chosen.info = *choice.endpoint;
    if (!EndpointGuidOf(chosen.info.id, chosen.guid)) {
        return Fail(text, kExitFailed,
                    L"the endpoint id " + chosen.info.id +
                        L" has no GUID to find its registry key");
    }
    return kExitDone;
}

int RunCommand(const Command& command, EndpointSource& endpoints, ConsoleText& text) {
    switch (command.kind) {
    case CommandKind::List:
        return RunList(endpoints, text);
    case CommandKind::Set:
        return RunSet(command, endpoints, text);
    case CommandKind::Install:
        return RunInstall(command, endpoints, text);
    case CommandKind::Uninstall:
        return RunUninstall(command, endpoints, text);
    case CommandKind::Cleanup:
        return RunCleanup(endpoints, text);
    case CommandKind::EnableEffects:
        return RunEnableEffects(command, endpoints, text);
    case CommandKind::Help:
        text.out += UsageText();
        return kExitDone;
    case CommandKind::Version:
        text.out += L"kovractl " KOVRA_VERSION L"\n";
        return kExitDone;
    }
    return kExitFailed;
}
