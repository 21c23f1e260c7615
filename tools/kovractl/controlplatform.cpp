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

// The registry counts a string's terminator in when the caller left it out but one follows the
// data in memory; a non-zero sentinel after the copy prevents that, so a saved string without a
// terminator comes back without one.
LSTATUS SetRawValue(HKEY key, const wchar_t* name, const RawValue& value) {
    std::vector<BYTE> bytes(value.data);
    bytes.resize(value.data.size() + 2 * sizeof(wchar_t), 0xFF);
    return controlPlatform.setValue(key, name, 0, value.type, bytes.data(),
                                    static_cast<DWORD>(value.data.size()));
}

LSTATUS DeleteValueIfPresent(HKEY key, const wchar_t* name) {
    const LSTATUS status = controlPlatform.deleteValue(key, name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS RestoreValue(HKEY key, const wchar_t* name, const std::optional<RawValue>& value) {
    return value ? SetRawValue(key, name, *value) : DeleteValueIfPresent(key, name);
}
