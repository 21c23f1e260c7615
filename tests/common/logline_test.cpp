#include "logline.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::string MakeLine(const LogLineOrigin& origin, bool isTrace, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string line = MakeLogLine(origin, isTrace, format, arguments);
    va_end(arguments);
    return line;
}

LogLineOrigin Origin(const void* object, DWORD threadId = 1234, int line = 42) {
    SYSTEMTIME time{};
    time.wYear = 2021;
    time.wMonth = 2;
    time.wDay = 3;
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 7;
    time.wMilliseconds = 42;
    return LogLineOrigin{time, threadId, "effect.cpp", line, object};
}

const void* Address(uint64_t value) {
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
}

} // namespace

TEST(LogLine, TraceLineIsByteExact) {
    EXPECT_EQ(MakeLine(Origin(Address(0xABCD)), true, L"%s", L"Initialize"),
              "2021-02-03 09:05:07.042 1234 0000ABCD (effect.cpp:42): (TRACE) Initialize\r\n");
}

TEST(LogLine, ErrorLineHasNoTraceMarker) {
    EXPECT_EQ(MakeLine(Origin(nullptr), false, L"pOutputFormat NULL"),
              "2021-02-03 09:05:07.042 1234 00000000 (effect.cpp:42): pOutputFormat NULL\r\n");
}

TEST(LogLine, HeaderPrintsLowHalfOfObjectAndSignedNumbers) {
    struct Case {
        uint64_t object;
        DWORD threadId;
        int line;
        const char* header;
    };
    const Case cases[] = {
        {0x123456789ABCDEF0ull, 7, 1, "7 9ABCDEF0 (effect.cpp:1): "},
        {0xFFFFFFFF00000001ull, 7, 1, "7 00000001 (effect.cpp:1): "},
        {0x1ull, 0x80000000u, -5, "-2147483648 00000001 (effect.cpp:-5): "},
    };
    for (const Case& c : cases) {
        const std::string line =
            MakeLine(Origin(Address(c.object), c.threadId, c.line), false, L"x");
        EXPECT_EQ(line, std::string("2021-02-03 09:05:07.042 ") + c.header + "x\r\n");
    }
}

TEST(LogLine, ConvertsCharactersToSingleBytes) {
    struct Case {
        std::wstring text;
        std::string bytes;
    };
    const Case cases[] = {
        {L"plain", "plain"},
        {L"a\nb\n", "a\r\nb\r\n"},
        {L"\r\n", "\r\r\n"},
        {L"caf\x00E9 \x00FF", "caf\xE9 \xFF"},
        {L"\x03B1\x0100x", "??x"},
        {L"\xD83D\xDE00!", "??"
                           "!"}, // one character outside the basic plane: two units
        {L"\xDC00\xD83D", "??"}, // unpaired surrogates
        {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToLogBytes(c.text), c.bytes);
    }
}
