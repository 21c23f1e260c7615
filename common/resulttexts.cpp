// Texts that log lines carry: names of the engine's result codes and the system's text of a
// failing HRESULT.
#include "loghelper.h"

#include <oaidl.h>

#include <cstdio>
#include <iterator>

namespace {

const wchar_t* const resultCodeNames[] = {
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

constexpr uint32_t firstDispatchError = 0x80040200u;
constexpr uint32_t lastDispatchError = 0x8004FFFFu;
constexpr size_t fallbackTextSize = 32;

// The system's text, its final CR LF removed, in a buffer the caller frees with LocalFree.
char* SystemMessageText(HRESULT hresult) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hresult), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return nullptr;
    }
    if (length > 1 && text[length - 1] == '\n') {
        text[--length] = '\0';
        if (text[length - 1] == '\r') {
            text[--length] = '\0';
        }
    }
    return text;
}

// For codes the system has no text for; null when even these few bytes cannot be had.
char* FallbackMessageText(HRESULT hresult) {
    char* text = static_cast<char*>(LocalAlloc(LMEM_FIXED, fallbackTextSize));
    if (text == nullptr) {
        return nullptr;
    }
    const uint32_t code = static_cast<uint32_t>(hresult);
    if (code > firstDispatchError && code <= lastDispatchError) {
        std::snprintf(text, fallbackTextSize, "IDispatch error #%d",
                      static_cast<int>(code - firstDispatchError));
    } else {
        std::snprintf(text, fallbackTextSize, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(code));
    }
    return text;
}

} // namespace

std::wstring ResultCodeName(int32_t code) {
    const uint32_t index = static_cast<uint32_t>(code);
    if (index < std::size(resultCodeNames)) {
        return resultCodeNames[index];
    }
    return L"KovraResult_?";
}

_com_error::~_com_error() {
    if (errorInfo != nullptr) {
        errorInfo->Release();
    }
    if (messageText != nullptr) {
        LocalFree(messageText);
    }
}

// Not synchronised: a holder lives on one thread's stack for the length of one log line.
const char* _com_error::MessageText() const noexcept {
    if (messageText == nullptr) {
        messageText = SystemMessageText(hresult);
        if (messageText == nullptr) {
            messageText = FallbackMessageText(hresult);
        }
    }
    return messageText;
}
