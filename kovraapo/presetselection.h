// The preset in force, shared by the notification handler, the preset decisions of Initialize
// and of a lock, and the real-time routine, without a lock: the preset and a count of the
// notifications that stored an endpoint value share one atomic word. A decision made from the
// two endpoint values is written only when no notification came since it read them, so it never
// overwrites the preset a notification selected on a value the decision had not seen; it then
// decides again. Nothing here waits, so a notification is never held up, not even by a decision
// on its own thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

class PresetSelection {
public:
    // What a decision read before it looked at the endpoint values.
    class Seen {
    public:
        UINT32 Preset() const { return static_cast<UINT32>(word); }

    private:
        friend class PresetSelection;
        explicit Seen(uint64_t word) : word(word) {}
        uint64_t word;
    };

    explicit PresetSelection(UINT32 preset) : word(preset) {}

    UINT32 Preset() const { return static_cast<UINT32>(word.load()); }
    Seen Read() const { return Seen(word.load()); }
    // A notification counts itself before it stores the value it read...
    void CountNotification() { word.fetch_add(kOneNotification); }
    // ... and, when the value selects a preset, writes the preset after storing it.
    void Select(UINT32 preset) {
        uint64_t seen = word.load();
        while (
            !word.compare_exchange_weak(seen, ((seen >> 32) << 32) + kOneNotification + preset)) {
        }
    }
    // True when no notification came since `seen`.
    bool NoNotificationSince(Seen seen) const { return (word.load() >> 32) == (seen.word >> 32); }
    // Writes a decision's preset; false, writing nothing, when a notification came since `seen`.
    bool Decide(Seen seen, UINT32 preset) {
        uint64_t expected = seen.word;
        return word.compare_exchange_strong(expected, ((seen.word >> 32) << 32) + preset);
    }

private:
    static constexpr uint64_t kOneNotification = uint64_t{1} << 32;
    static_assert(std::atomic<uint64_t>::is_always_lock_free, "the real-time routine reads it");
    std::atomic<uint64_t> word;
};
