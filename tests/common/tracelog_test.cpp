#include "commontestsupport.h"
#include "loghelper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace {

const std::wstring switchKeyPath = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KovraAPO";

struct LogRecord {
    SYSTEMTIME time{};
    long long thread = 0;
    std::string object;
    std::string sourceFile;
    int line = 0;
    std::string body; // everything after the header, line end included
};

struct LogFile {
    std::vector<LogRecord> records;
    bool wellFormed = true; // every byte belongs to a record that starts with a header
};

// A line starts with this header; the message and the CR LF follow it.
const std::regex headerPattern(R"((\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) )"
                               R"((-?\d+) ([0-9A-F]{8}) \(([^()\r\n]*):(-?\d+)\): )");

LogFile ParseLog(const std::string& bytes) {
    LogFile log;
    std::vector<std::pair<size_t, std::smatch>> headers;
    for (size_t start = 0; start < bytes.size();) {
        std::smatch match;
        if (std::regex_search(bytes.begin() + start, bytes.end(), match, headerPattern,
                              std::regex_constants::match_continuous)) {
            headers.emplace_back(start, match);
        }
        const size_t lineFeed = bytes.find('\n', start);
        start = lineFeed == std::string::npos ? bytes.size() : lineFeed + 1;
    }
    log.wellFormed = bytes.empty() || (!headers.empty() && headers.front().first == 0);
    for (size_t index = 0; index < headers.size(); ++index) {
        const std::smatch& match = headers[index].second;
        const size_t bodyStart = headers[index].first + match.length(0);
        const size_t end = index + 1 < headers.size() ? headers[index + 1].first : bytes.size();
        LogRecord record;
        WORD* timeFields[] = {&record.time.wYear,        &record.time.wMonth,  &record.time.wDay,
                              &record.time.wHour,        &record.time.wMinute, &record.time.wSecond,
                              &record.time.wMilliseconds};
        for (int field = 0; field < 7; ++field) {
            *timeFields[field] = static_cast<WORD>(std::stoi(match[field + 1]));
        }
        record.thread = std::stoll(match[8]);
        record.object = match[9];
        record.sourceFile = match[10];
        record.line = std::stoi(match[11]);
        record.body = bytes.substr(bodyStart, end - bodyStart);
        log.wellFormed = log.wellFormed && record.body.size() >= 2 &&
                         record.body.compare(record.body.size() - 2, 2, "\r\n") == 0;
        log.records.push_back(record);
    }
    return log;
}

uint64_t Ticks(const SYSTEMTIME& time) {
    FILETIME fileTime{};
    SystemTimeToFileTime(&time, &fileTime);
    return (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

// The bytes the log holds for an ASCII text: each LF stored as CR LF.
std::string FileText(const std::wstring& asciiText) {
    std::string bytes;
    for (wchar_t character : asciiText) {
        bytes += character == L'\n' ? std::string("\r\n") : std::string(1, char(character));
    }
    return bytes;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const void* Address(uint64_t value) {
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
}

TraceSwitchState StringSwitch(const std::wstring& text) {
    return {TraceSwitchKind::String, text};
}

class TraceLog : public ::testing::Test {
protected:
    std::wstring LogPath() const { return folder.Path() + L"\\KovraAPO.log"; }
    LogFile ReadLog() const { return ParseLog(ReadFileBytes(LogPath())); }

    // Must be set before the probe is loaded: the switch is read once per load.
    void SetSwitch(const TraceSwitchState& state) { traceSwitch.Set(state); }

    void ExpectSetUpError(const LogRecord& record, const std::wstring& message) const {
        EXPECT_EQ(record.object, "00000000");
        EXPECT_TRUE(EndsWith(record.sourceFile, "tracelog.cpp")) << record.sourceFile;
        EXPECT_EQ(record.body, FileText(message + L"\n"));
    }

    TempFolder folder;
    EnvironmentOverride tmp{L"TMP", folder.Path()};
    EnvironmentOverride temp{L"TEMP", folder.Path()};
    TraceSwitchScope traceSwitch;
};

TEST_F(TraceLog, ErrorLineIsWrittenByteExactWhileTraceLinesAreOff) {
    SetSwitch(StringSwitch(L"false"));
    LogProbe probe;
    ASSERT_TRUE(probe.IsLoaded());

    SYSTEMTIME before{}, after{};
    GetLocalTime(&before);
    probe.Log()("probe.cpp", 42, Address(0x123456789ABCDEF0ull), false, L"%s and %S, %d%%", L"wide",
                "narrow", 7);
    probe.Log()("probe.cpp", 43, nullptr, true, L"Initialize");
    GetLocalTime(&after);

    const LogFile log = ReadLog();
    ASSERT_TRUE(log.wellFormed);
    ASSERT_EQ(log.records.size(), 1u);
    const LogRecord& record = log.records[0];
    EXPECT_EQ(record.object, "9ABCDEF0");
    EXPECT_EQ(record.sourceFile, "probe.cpp");
    EXPECT_EQ(record.line, 42);
    EXPECT_EQ(record.thread, static_cast<long long>(GetCurrentThreadId()));
    EXPECT_EQ(record.body, "wide and narrow, 7%\r\n");
    EXPECT_LE(Ticks(before), Ticks(record.time));
    EXPECT_LE(Ticks(record.time), Ticks(after));
}

struct SwitchCase {
    const char* name;
    TraceSwitchState state;
    bool traceWritten;
    std::wstring setUpError; // empty: the switch was read without error
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << c.name;
}

class TraceSwitch : public TraceLog, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(TraceSwitch, DecidesTraceLinesOncePerLoad) {
    const SwitchCase& c = GetParam();
    SetSwitch(c.state);
    LogProbe probe;
    ASSERT_TRUE(probe.IsLoaded());
    probe.Log()("effect.cpp", 10, Address(0x1234), false, L"first");
    probe.Log()("effect.cpp", 11, Address(0x1234), true, L"Initialize");
    probe.Log()("effect.cpp", 12, Address(0x1234), false, L"second");

    std::vector<std::string> expectedBodies = {"first\r\n", "second\r\n"};
    if (c.traceWritten) {
        expectedBodies.insert(expectedBodies.begin() + 1, "(TRACE) Initialize\r\n");
    }
    const LogFile log = ReadLog();
    ASSERT_TRUE(log.wellFormed);
    std::vector<LogRecord> records = log.records;
    if (!c.setUpError.empty()) {
        ASSERT_FALSE(records.empty());
        ExpectSetUpError(records.front(), c.setUpError);
        records.erase(records.begin());
    }
    ASSERT_EQ(records.size(), expectedBodies.size());
    for (size_t index = 0; index < records.size(); ++index) {
        EXPECT_EQ(records[index].body, expectedBodies[index]);
        EXPECT_EQ(records[index].object, "00001234");
    }
}

std::wstring FileNotFoundText() {
    return GetSystemErrorText(ERROR_FILE_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(
    EnableTrace, TraceSwitch,
    ::testing::Values(
        SwitchCase{"MissingKey",
                   {TraceSwitchKind::MissingKey, L""},
                   false,
                   L"Error while opening registry key " + switchKeyPath + L": " +
                       FileNotFoundText()},
        SwitchCase{"MissingValue",
                   {TraceSwitchKind::MissingValue, L""},
                   false,
                   L"Error while reading registry value " + switchKeyPath + L"\\EnableTrace: " +
                       FileNotFoundText()},
        SwitchCase{"Dword",
                   {TraceSwitchKind::Dword, L""},
                   false,
                   L"Registry value " + switchKeyPath + L"\\EnableTrace has wrong type"},
        SwitchCase{"LowerFalse", StringSwitch(L"false"), false, L""},
        SwitchCase{"CapitalFalse", StringSwitch(L"False"), true, L""},
        SwitchCase{"UpperFalse", StringSwitch(L"FALSE"), true, L""},
        SwitchCase{"Zero", StringSwitch(L"0"), true, L""},
        SwitchCase{"Empty", StringSwitch(L""), true, L""},
        SwitchCase{"True", StringSwitch(L"true"), true, L""},
        SwitchCase{"FalseWithBlank", StringSwitch(L"false "), true, L""},
        SwitchCase{"FalseWithSecondNul", StringSwitch(std::wstring(L"false\0", 6)), true, L""}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return info.param.name; });

TEST_F(TraceLog, SetUpErrorIsWrittenOncePerLoadFollowedByAnEmptyLine) {
    SetSwitch({TraceSwitchKind::MissingKey, L""});
    LogProbe firstLoad;
    ASSERT_TRUE(firstLoad.IsLoaded());
    firstLoad.Log()("effect.cpp", 1, nullptr, false, L"one");
    firstLoad.Log()("effect.cpp", 2, nullptr, false, L"two");
    ASSERT_TRUE(firstLoad.Unload());
    LogProbe secondLoad;
    secondLoad.Log()("effect.cpp", 3, nullptr, false, L"three");

    const LogFile log = ReadLog();
    ASSERT_TRUE(log.wellFormed);
    ASSERT_EQ(log.records.size(), 5u);
    const std::wstring setUpError =
        L"Error while opening registry key " + switchKeyPath + L": " + FileNotFoundText();
    ExpectSetUpError(log.records[0], setUpError);
    EXPECT_TRUE(EndsWith(log.records[0].body, "\r\r\n\r\n")) << "the system's own line end stays";
    EXPECT_EQ(log.records[1].body, "one\r\n");
    EXPECT_EQ(log.records[2].body, "two\r\n");
    ExpectSetUpError(log.records[3], setUpError);
    EXPECT_EQ(log.records[4].body, "three\r\n");
}

TEST_F(TraceLog, SwitchChangeTakesEffectOnlyAtTheNextLoad) {
    SetSwitch(StringSwitch(L"false"));
    LogProbe probe;
    ASSERT_TRUE(probe.IsLoaded());
    probe.Log()("effect.cpp", 1, nullptr, true, L"before the change");
    SetSwitch(StringSwitch(L"true"));
    probe.Log()("effect.cpp", 2, nullptr, true, L"after the change");
    ASSERT_TRUE(probe.Unload());
    EXPECT_EQ(ReadFileBytes(LogPath()), "");

    LogProbe reloaded;
    reloaded.Log()("effect.cpp", 3, nullptr, true, L"after the reload");
    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].body, "(TRACE) after the reload\r\n");
}

TEST_F(TraceLog, MessageLongerThanAnyBufferIsWrittenWhole) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    const std::wstring longText = std::wstring(300000, L'x') + L"\x03B1" + L"end";
    probe.Log()("effect.cpp", 1, nullptr, true, L"[%s]", longText.c_str());

    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].body, "(TRACE) [" + std::string(300000, 'x') + "?end]\r\n");
}

TEST_F(TraceLog, StoresSingleBytesWithQuestionMarksAndCrLf) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    probe.Log()("caf\xE9.cpp", 7, nullptr, false, L"caf\x00E9 \x03B1 [%s] %S\nnext",
                L"\x00FF\x03B1z", "\xE9");

    const LogFile log = ReadLog();
    ASSERT_TRUE(log.wellFormed);
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].sourceFile, "caf\xE9.cpp");
    EXPECT_EQ(log.records[0].body, "caf\xE9 ? [\xFF?z] \xE9\r\nnext\r\n");
}

TEST_F(TraceLog, AppendsToTheExistingFile) {
    SetSwitch(StringSwitch(L"true"));
    {
        HANDLE file = CreateFileW(LogPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "earlier\r\n", 9, &written, nullptr);
        CloseHandle(file);
    }
    LogProbe probe;
    probe.Log()("effect.cpp", 1, nullptr, false, L"later");
    const std::string bytes = ReadFileBytes(LogPath());
    ASSERT_EQ(bytes.compare(0, 9, "earlier\r\n"), 0);
    const LogFile log = ParseLog(bytes.substr(9));
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].body, "later\r\n");
}

TEST_F(TraceLog, LineIsLostWhileAnotherWriterHoldsTheFile) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    HANDLE holder = CreateFileW(LogPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    probe.Log()("effect.cpp", 1, nullptr, false, L"lost");
    CloseHandle(holder);
    probe.Log()("effect.cpp", 2, nullptr, false, L"kept");

    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].body, "kept\r\n");
}

TEST_F(TraceLog, UnusableTemporaryFolderDropsTheLine) {
    SetSwitch(StringSwitch(L"true"));
    const std::wstring overlong = folder.Path() + L"\\" + std::wstring(300, L'a');
    EnvironmentOverride longTmp(L"TMP", overlong);
    EnvironmentOverride longTemp(L"TEMP", overlong);
    wchar_t previousDirectory[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, previousDirectory);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));

    LogProbe probe;
    probe.Log()("effect.cpp", 1, nullptr, false, L"nowhere to go");
    probe.Log()("effect.cpp", 2, nullptr, true, L"nowhere either");
    SetCurrentDirectoryW(previousDirectory);

    // Not in the working folder as a bare file name, nor under a cut-off path.
    EXPECT_FALSE(FileExists(LogPath()));
    EXPECT_FALSE(FileExists(folder.Path() + L"\\" + std::wstring(300, L'a')));
}

TEST_F(TraceLog, MissingFormatOrSourceFileIsHandled) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    probe.Log()("effect.cpp", 1, nullptr, false, nullptr);
    probe.Log()(nullptr, 2, nullptr, false, L"no file");

    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].sourceFile, "");
    EXPECT_EQ(log.records[0].body, "no file\r\n");
}

TEST_F(TraceLog, AllocationFailureDropsTheLineWithoutThrowing) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    probe.Log()("effect.cpp", 1, nullptr, false, L"before");
    probe.FailAllocations(true);
    EXPECT_NO_THROW(probe.Log()("effect.cpp", 2, nullptr, false, L"during %s", L"failure"));
    probe.FailAllocations(false);
    probe.Log()("effect.cpp", 3, nullptr, true, L"after");

    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 2u);
    EXPECT_EQ(log.records[0].body, "before\r\n");
    EXPECT_EQ(log.records[1].body, "(TRACE) after\r\n");
}

TEST_F(TraceLog, AllocationFailureDuringSetUpLeavesTheLogOffForThatLoad) {
    SetSwitch(StringSwitch(L"true"));
    LogProbe probe;
    probe.FailAllocations(true);
    EXPECT_NO_THROW(probe.Log()("effect.cpp", 1, nullptr, false, L"during set-up"));
    probe.FailAllocations(false);
    probe.Log()("effect.cpp", 2, nullptr, false, L"same load");
    EXPECT_FALSE(FileExists(LogPath()));
    ASSERT_TRUE(probe.Unload());

    LogProbe reloaded;
    reloaded.Log()("effect.cpp", 3, nullptr, false, L"next load");
    const LogFile log = ReadLog();
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].body, "next load\r\n");
}

// Racing first calls: the set-up runs once, and its error line is written once, before any
// racer's line. Racers that meet the file held by another lose their line, as designed.
TEST_F(TraceLog, RacingFirstCallsRunTheSetUpOnce) {
    SetSwitch({TraceSwitchKind::MissingKey, L""});
    constexpr int rounds = 5;
    constexpr int racers = 8;
    for (int round = 0; round < rounds; ++round) {
        DeleteFileW(LogPath().c_str());
        LogProbe probe;
        ASSERT_TRUE(probe.IsLoaded());
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<std::thread> threads;
        for (int racer = 0; racer < racers; ++racer) {
            threads.emplace_back([&probe, start, racer] {
                WaitForSingleObject(start, INFINITE);
                probe.Log()("racer.cpp", racer, nullptr, false, L"racer %d", racer);
            });
        }
        SetEvent(start);
        for (std::thread& thread : threads) {
            thread.join();
        }
        CloseHandle(start);

        const LogFile log = ReadLog();
        ASSERT_TRUE(log.wellFormed) << "round " << round;
        ASSERT_GE(log.records.size(), 2u) << "round " << round;
        EXPECT_EQ(log.records[0].sourceFile.find("tracelog.cpp") != std::string::npos, true);
        std::set<std::string> racerBodies;
        for (size_t index = 1; index < log.records.size(); ++index) {
            const LogRecord& record = log.records[index];
            EXPECT_EQ(record.body, "racer " + std::to_string(record.line) + "\r\n");
            racerBodies.insert(record.body);
        }
        EXPECT_EQ(racerBodies.size(), log.records.size() - 1) << "no line written twice";
    }
}

} // namespace
