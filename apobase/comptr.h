// An owned COM reference: released when the holder goes, so no path can leak one.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename Interface> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer(std::exchange(other.pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer = std::exchange(other.pointer, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes a reference that the caller already owns (e.g. from CoCreateInstance).
    static ComPtr Attach(Interface* owned) {
        ComPtr holder;
        holder.pointer = owned;
        return holder;
    }
    // Adds a reference of its own to a borrowed pointer.
    static ComPtr Share(Interface* borrowed) {
        if (borrowed) {
            borrowed->AddRef();
        }
        return Attach(borrowed);
    }

    void Reset() {
        if (Interface* old = std::exchange(pointer, nullptr)) {
            old->Release();
        }
    }
    Interface* Detach() { return std::exchange(pointer, nullptr); }
    // Asks the held object for another of its interfaces.
    template <typename Other> HRESULT QueryInto(ComPtr<Other>& target) const {
        if (!pointer) {
            return E_POINTER;
        }
        return pointer->QueryInterface(__uuidof(Other), reinterpret_cast<void**>(target.Receive()));
    }
    Interface* Get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    // Address for an out-parameter; drops what is held first.
    Interface** Receive() {
        Reset();
        return &pointer;
    }

private:
    Interface* pointer = nullptr;
};
