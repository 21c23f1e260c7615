#include "commands.h"

#include "endpointselection.h"
#include "resultdescription.h"

int Fail(ConsoleText& text, int exitCode, const std::wstring& message) {
    text.err += L"kovractl: " + message + L"\n";
    return exitCode;
}

std::wstring EndpointLine(const EndpointInfo& endpoint) {
    return endpoint.friendlyName.empty() ? endpoint.id
                                         : endpoint.friendlyName + L"  " + endpoint.id;
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
    case CommandKind::Help:
        text.out += UsageText();
        return kExitDone;
    case CommandKind::Version:
        text.out += L"kovractl " KOVRA_VERSION L"\n";
        return kExitDone;
    }
    return kExitFailed;
}
