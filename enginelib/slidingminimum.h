// The smallest of the last N values of a stream, in constant time per value (amortised): a
// queue of the values that can still become the smallest, in rising order. A value that arrives
// removes every queued value not below it, since those would leave the window earlier and can
// never be the smallest again. Fixed capacity, so it lives inside its owner without allocation.
#ifndef KOVRA_SLIDINGMINIMUM_H
#define KOVRA_SLIDINGMINIMUM_H

#include <algorithm>
#include <cstdint>

namespace kovra {

template <uint32_t kCapacity> class SlidingMinimum {
    static_assert((kCapacity & (kCapacity - 1)) == 0, "the capacity is a power of two");

public:
    // The window's length in values, 1 to kCapacity; also forgets every value.
    void setWindow(uint32_t window) {
        window_ = std::clamp<uint32_t>(window, 1, kCapacity);
        clear();
    }
    void clear() { head_ = tail_ = count_ = 0; }

    // Adds a value and returns the smallest of the window's values, this one included.
    float push(float value) {
        while (tail_ != head_ && !(entry(tail_ - 1).value < value)) {
            --tail_;
        }
        entry(tail_++) = {count_, value};
        // Unsigned differences stay right when the running count wraps.
        if (count_ - entry(head_).index >= window_) {
            ++head_;
        }
        ++count_;
        return entry(head_).value;
    }

private:
    struct Entry {
        uint32_t index;
        float value;
    };
    Entry& entry(uint32_t position) { return entries_[position & (kCapacity - 1)]; }

    Entry entries_[kCapacity]; // only the queued ones are read, so creation leaves them as they are
    uint32_t window_ = 1;
    uint32_t head_ = 0;  // oldest queued value, the smallest
    uint32_t tail_ = 0;  // one past the newest
    uint32_t count_ = 0; // values pushed since the last clear
};

} // namespace kovra

#endif
