// Runs a program as its own process, as a user or the platform would, and keeps what it
// printed; finds the programs and DLLs the build puts beside the test program.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

struct ProgramRun {
    DWORD exitCode = ~0u;
    std::string out; // as the program wrote it, line ends turned into "\n"
    std::string err;
};

inline std::wstring BesideTestProgram(const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + fileName;
}

class CaptureFile {
public:
    explicit CaptureFile(const wchar_t* suffix) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = std::wstring(folder) + L"program-run-" + std::to_wstring(GetCurrentProcessId()) +
               suffix;
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY, nullptr);
    }
    ~CaptureFile() {
        CloseHandle(handle);
        DeleteFileW(path.c_str());
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    HANDLE Handle() const { return handle; }
    std::string Text() const {
        std::string bytes(GetFileSize(handle, nullptr), '\0');
        DWORD read = 0;
        SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
        ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        bytes.resize(read);
        std::string text;
        for (char character : bytes) {
            if (character != '\r') {
                text += character;
            }
        }
        return text;
    }

private:
    std::wstring path;
    HANDLE handle;
};

inline ProgramRun RunProgram(std::wstring commandLine) {
    CaptureFile out(L".out");
    CaptureFile err(L".err");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.Handle();
    startup.hStdError = err.Handle();
    PROCESS_INFORMATION process{};
    ProgramRun run;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return run;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = out.Text();
    run.err = err.Text();
    return run;
}

} // namespace testsupport
