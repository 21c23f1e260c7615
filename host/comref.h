// An owned COM reference: released when the holder goes, so no early return can leak one.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename Interface> class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : pointer(std::exchange(other.pointer, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer = std::exchange(other.pointer, nullptr);
        }
        return *this;
    }
    ~ComRef() { Reset(); }

    // Takes over a reference the caller already owns (no AddRef).
    static ComRef Adopt(Interface* owned) {
        ComRef ref;
        ref.pointer = owned;
        return ref;
    }

    // Adds a reference of its own to a borrowed pointer.
    static ComRef Share(Interface* borrowed) {
        if (borrowed != nullptr) {
            borrowed->AddRef();
        }
        return Adopt(borrowed);
    }

    void Reset() {
        if (pointer != nullptr) {
            std::exchange(pointer, nullptr)->Release();
        }
    }

    // For out-parameters: drops the current reference first.
    Interface** Receive() {
        Reset();
        return &pointer;
    }

    template <typename Other> HRESULT QueryInto(ComRef<Other>& target) const {
        if (pointer == nullptr) {
            return E_POINTER;
        }
        return pointer->QueryInterface(__uuidof(Other), reinterpret_cast<void**>(target.Receive()));
    }

    Interface* Get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

private:
    Interface* pointer = nullptr;
};
