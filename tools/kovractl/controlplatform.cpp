#include "controlplatform.h"

namespace {

class TokenHandle {
public:
    TokenHandle() {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &handle)) {
            handle = nullptr;
        }
    }
    ~TokenHandle() {
        if (handle) {
            CloseHandle(handle);
        }
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE Get() const { return handle; }

private:
    HANDLE handle = nullptr;
};

bool TokenIsElevated() {
    TokenHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // A token that cannot be asked is treated as elevated: the registry then gives the answer
    // that counts, and a refusal from it is reported as such.
    if (!token.Get() ||
        !GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return true;
    }
    return elevation.TokenIsElevated != 0;
}

} // namespace

ControlPlatform controlPlatform = {&TokenIsElevated, &RegOpenKeyExW, &RegCreateKeyExW,
                                   &RegSetValueExW, &RegDeleteValueW};
