// The diagnostics log "KovraAPO.log" in the temporary folder: error lines always, trace lines
// while the registry switch "EnableTrace" allows. Each line opens, appends to and closes the
// file, holding it exclusively, so lines never interleave; a line whose open fails is lost.
#include "loghelper.h"
#include "logline.h"

#include <atomic>
#include <mutex>

namespace {

constexpr wchar_t switchKeyPath[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KovraAPO";
constexpr wchar_t switchValueName[] = L"EnableTrace";
constexpr wchar_t logFileName[] = L"KovraAPO.log";
constexpr DWORD tempPathCapacity = 255;

// Made once per load of the module and only read afterwards.
struct TraceLogSettings {
    std::wstring logPath; // empty: no usable temporary folder, every line is dropped
    bool traceEnabled = false;
};

TraceLogSettings& Settings() {
    static TraceLogSettings settings;
    return settings;
}

std::mutex setUpMutex;
bool setUpStarted = false; // raised before anything else of the set-up, never lowered
std::atomic<bool> setUpFinished{false};

class ExclusiveAppendFile {
public:
    explicit ExclusiveAppendFile(const std::wstring& path)
        : handle(CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ExclusiveAppendFile() {
        if (IsOpen()) {
            CloseHandle(handle);
        }
    }
    ExclusiveAppendFile(const ExclusiveAppendFile&) = delete;
    ExclusiveAppendFile& operator=(const ExclusiveAppendFile&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }

    void Write(const std::string& bytes) {
        DWORD written = 0;
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    HANDLE handle;
};

void WriteLine(const char* sourceFile, int line, const void* object, bool isTrace,
               const wchar_t* format, va_list arguments) {
    const TraceLogSettings& settings = Settings();
    if (isTrace && !settings.traceEnabled) {
        return;
    }
    if (settings.logPath.empty()) {
        return;
    }
    LogLineOrigin origin{};
    GetLocalTime(&origin.localTime);
    origin.threadId = GetCurrentThreadId();
    origin.sourceFile = sourceFile;
    origin.line = line;
    origin.object = object;
    const std::string bytes = MakeLogLine(origin, isTrace, format, arguments);
    if (bytes.empty()) {
        return;
    }
    ExclusiveAppendFile file(settings.logPath);
    if (file.IsOpen()) {
        file.Write(bytes);
    }
}

void WriteErrorLine(const char* sourceFile, int line, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteLine(sourceFile, line, nullptr, false, format, arguments);
    va_end(arguments);
}

// Empty when the temporary folder cannot be asked for or needs more than 255 characters: the
// log is then off for this load rather than written to a truncated or relative path.
std::wstring MakeLogPath() {
    wchar_t tempPath[tempPathCapacity + 1] = {};
    const DWORD length = GetTempPathW(tempPathCapacity + 1, tempPath);
    if (length == 0 || length > tempPathCapacity) {
        return std::wstring();
    }
    return std::wstring(tempPath, length) + logFileName;
}

void ReadTraceSwitch(TraceLogSettings& settings) {
    try {
        settings.traceEnabled = ReadRegistryString(switchKeyPath, switchValueName) != L"false";
    } catch (const RegistryException& exception) {
        // Written straight to the file: going through LogMessage would wait on this set-up.
        WriteErrorLine(__FILE__, __LINE__, L"%s", exception.Message().c_str());
    }
}

// Runs the set-up once per load. Calls on other threads wait until it is finished, so none of
// them sees a half-made log path or switch. Should the set-up fail (out of memory), the log
// stays in its safe state: trace off, and no path, so lines are dropped.
void EnsureSetUp() {
    if (setUpFinished.load(std::memory_order_acquire)) {
        return;
    }
    std::lock_guard<std::mutex> lock(setUpMutex);
    if (setUpStarted) {
        return;
    }
    setUpStarted = true;
    struct FinishOnExit {
        ~FinishOnExit() { setUpFinished.store(true, std::memory_order_release); }
    } finishOnExit;

    TraceLogSettings& settings = Settings();
    settings.logPath = MakeLogPath();
    ReadTraceSwitch(settings);
}

} // namespace

void LogMessage(const char* sourceFile, int line, const void* object, bool isTrace,
                const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    // Diagnostics must never take down the caller, which is usually a COM method.
    try {
        EnsureSetUp();
        WriteLine(sourceFile, line, object, isTrace, format, arguments);
    } catch (...) {
    }
    va_end(arguments);
}
