// An owned COM reference: released when the holder goes, so no path can leak one.
#pragma once

#include <unknwn.h>

#include <atomic>
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

// An owned COM reference that is set once while other threads may read it: the first non-null
// pointer given stays, with a reference of its own, until Reset, which runs once no other thread
// can read it any more.
template <typename Interface> class PublishedComPtr {
public:
    PublishedComPtr() = default;
    PublishedComPtr(const PublishedComPtr&) = delete;
    PublishedComPtr& operator=(const PublishedComPtr&) = delete;
    ~PublishedComPtr() { Reset(); }

    // Adds a reference of its own to a borrowed pointer, unless one is held already.
    void ShareIfEmpty(Interface* borrowed) {
        if (!borrowed || pointer.load()) {
            return;
        }
        borrowed->AddRef();
        Interface* expected = nullptr;
        if (!pointer.compare_exchange_strong(expected, borrowed)) {
            borrowed->Release(); // another thread's came first
        }
    }
    Interface* Get() const { return pointer.load(); }
    void Reset() {
        if (Interface* old = pointer.exchange(nullptr)) {
            old->Release();
        }
    }

private:
    std::atomic<Interface*> pointer{nullptr};
};
