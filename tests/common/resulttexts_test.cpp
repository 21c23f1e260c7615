#include "loghelper.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <type_traits>

static_assert(!std::is_copy_constructible<_com_error>::value,
              "a copy would free the cached text twice");
static_assert(std::has_virtual_destructor<_com_error>::value, "");

TEST(ResultCodeName, NamesEveryCodeOfTheTable) {
    const wchar_t* const names[] = {
        L"KovraResult_kOk",
        L"KovraResult_kFailed",
        L"KovraResult_kErrorParameter",
        L"KovraResult_kErrorIndexOutOfRange",
        L"KovraResult_kErrorMemory",
        L"KovraResult_kErrorTimeout",
        L"KovraResult_kErrorNotAvailable",
        L"KovraResult_kSamplerateNotSupported",
        L"KovraResult_kChannelConfigurationNotSupported",
        L"KovraResult_kBufferTooSmall",
        L"KovraResult_kInvalidHandle",
        L"KovraResult_kNotImplemented",
        L"KovraResult_kBusy",
    };
    for (int32_t code = 0; code < 13; ++code) {
        EXPECT_EQ(ResultCodeName(code), names[code]) << code;
    }
}

TEST(ResultCodeName, CodesOutsideTheTableAreUnknown) {
    for (int32_t code : {-1, 13, INT_MIN, INT_MAX}) {
        EXPECT_EQ(ResultCodeName(code), L"KovraResult_?") << code;
    }
}

TEST(ComErrorText, SystemTextComesWithoutItsLineEnd) {
    char* systemText = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(E_INVALIDARG), 0x0400,
                   reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    ASSERT_NE(systemText, nullptr);
    std::string expected = systemText;
    LocalFree(systemText);
    ASSERT_GT(expected.size(), 2u);
    ASSERT_EQ(expected.substr(expected.size() - 2), "\r\n");
    expected.resize(expected.size() - 2);

    _com_error error(E_INVALIDARG);
    const char* text = error.MessageText();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), expected);
    EXPECT_EQ(error.MessageText(), text) << "the text is made once and kept";
}

TEST(ComErrorText, CodesWithoutSystemTextGetAFallback) {
    struct Case {
        uint32_t hresult;
        const char* text;
    };
    const Case cases[] = {
        {0x80040205u, "IDispatch error #5"},       {0x80040201u, "IDispatch error #1"},
        {0x8004FFFFu, "IDispatch error #65023"},   {0x80040200u, "Unknown error 0x80040200"},
        {0x887D0003u, "Unknown error 0x887D0003"},
    };
    for (const Case& c : cases) {
        _com_error error(static_cast<HRESULT>(c.hresult));
        const char* text = error.MessageText();
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(error.Error(), static_cast<HRESULT>(c.hresult));
    }
}
