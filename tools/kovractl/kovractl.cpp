// kovractl: puts the KovraAPO effect on a render endpoint of this machine and switches its
// presets, without registry surgery by hand.
#include "commands.h"
#include "consoleoutput.h"
#include "mmdeviceendpoints.h"
#include "resultdescription.h"

#include <objbase.h>

namespace {

class ComScope {
public:
    ComScope() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    const HRESULT result;
};

int Run(const std::vector<std::wstring>& arguments, ConsoleText& text) {
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        text.err += L"kovractl: " + parsed.error + L"\n\n" + UsageText();
        return kExitBadArguments;
    }
    const ComScope com;
    if (FAILED(com.result)) {
        return Fail(text, kExitFailed, L"COM does not start: " + DescribeResult(com.result));
    }
    MMDeviceEndpoints endpoints;
    const HRESULT created = endpoints.Create();
    if (FAILED(created)) {
        return Fail(text, kExitFailed,
                    L"cannot create the audio device enumerator: " + DescribeResult(created));
    }
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
