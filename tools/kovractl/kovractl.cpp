// kovractl: puts the KovraAPO effect on a render endpoint of this machine and switches its
// presets, without registry surgery by hand.
#include "commands.h"
#include "comscope.h"
#include "consoleoutput.h"
#include "mmdeviceendpoints.h"

#include <objbase.h>

namespace {

int Run(const std::vector<std::wstring>& arguments, ConsoleText& text) {
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        text.err += L"kovractl: " + parsed.error + L"\n\n" + UsageText();
        return kExitBadArguments;
    }
    // Should COM not start, the device enumerator cannot be made and the command says so.
    const ComScope com;
    MMDeviceEndpoints endpoints;
    return RunCommand(parsed.command, endpoints, text);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    ConsoleText text;
    const int exitCode = Run(arguments, text);
    WriteText(STD_OUTPUT_HANDLE, text.out);
    WriteText(STD_ERROR_HANDLE, text.err);
    return exitCode;
}
