// An open registry key, closed when its holder goes.
#pragma once

#include <windows.h>

#include <utility>

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept : key(std::exchange(other.key, nullptr)) {}
    ~RegistryKey() { Close(); }

    HKEY Get() const { return key; }
    // Address for an out-parameter; closes what is held first.
    HKEY* Receive() {
        Close();
        return &key;
    }
    void Close() {
        if (HKEY old = std::exchange(key, nullptr)) {
            RegCloseKey(old);
        }
    }

private:
    HKEY key = nullptr;
};
