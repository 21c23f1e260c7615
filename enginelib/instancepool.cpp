#include "instancepool.h"

#include "engineinstance.h"

#include <atomic>
#include <new>
#include <type_traits>

namespace kovra {
namespace {

// A slot's state word: bits 0-1 its phase, bits 2-23 the calls holding it, bits 24-63 its
// generation. One word, so that every change of a slot is one atomic step.
enum Phase : uint64_t { kFree = 0, kOpening = 1, kOpen = 2 };
constexpr uint64_t kPhaseMask = 3;
constexpr int kCallShift = 2;
constexpr int kGenerationShift = 24;
constexpr uint64_t kOneCall = uint64_t{1} << kCallShift;
constexpr uint64_t kOneGeneration = uint64_t{1} << kGenerationShift;
constexpr uint64_t kCallMask = kOneGeneration - kOneCall;

uint64_t PhaseOf(uint64_t state) {
    return state & kPhaseMask;
}
uint64_t CallsOf(uint64_t state) {
    return (state & kCallMask) >> kCallShift;
}
uint64_t GenerationOf(uint64_t state) {
    return state >> kGenerationShift;
}

// An instance has no resource of its own, so closing needs no destructor and a slot can be
// built over again in place.
static_assert(std::is_trivially_destructible_v<EngineInstance>);

struct alignas(64) Slot { // a cache line each: streams on other threads do not share one
    // Generations start at 1, so that no handle is a small number.
    std::atomic<uint64_t> state{kOneGeneration};
};

Slot slots[kInstanceCapacity];
alignas(EngineInstance) unsigned char storage[kInstanceCapacity][sizeof(EngineInstance)];
std::atomic<uint32_t> nextSlot{0};

EngineInstance* InstanceIn(uint32_t slot) {
    return std::launder(reinterpret_cast<EngineInstance*>(storage[slot]));
}

// Every page of the instances' memory is written once when the library loads, so that the first
// instance opened on the audio thread finds its memory in place rather than faulting it in.
struct TouchEveryPage {
    TouchEveryPage() {
        auto* bytes = reinterpret_cast<volatile unsigned char*>(&storage[0][0]);
        for (size_t offset = 0; offset < sizeof storage; offset += 4096) {
            bytes[offset] = 0;
        }
    }
} touchEveryPage;

// Bits 0-15: the slot number + 1, so that no handle is null; above them: the generation.
constexpr int kSlotBits = 16;
static_assert(kInstanceCapacity < (1u << kSlotBits), "slot numbers must fit their bits");
static_assert(sizeof(KovraHandle) == 8, "a handle carries a 40-bit generation");

KovraHandle MakeHandle(uint32_t slot, uint64_t generation) {
    const uint64_t value = (generation << kSlotBits) | (slot + 1);
    return reinterpret_cast<KovraHandle>(static_cast<uintptr_t>(value));
}

bool ReadHandle(KovraHandle handle, uint32_t& slot, uint64_t& generation) {
    const auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    const uint64_t number = value & ((uint64_t{1} << kSlotBits) - 1);
    if (number == 0 || number > kInstanceCapacity) {
        return false;
    }
    slot = static_cast<uint32_t>(number - 1);
    generation = value >> kSlotBits;
    return true;
}

} // namespace

std::atomic<void (*)()> afterHandleChecked{nullptr};

KovraHandle OpenInstance(const ConfigurationSettings& configuration,
                         const std::array<PresetSettings, kPresetCount>& presets) {
    // The search starts where the last one ended, so that generations grow evenly over slots.
    const uint32_t start = nextSlot.fetch_add(1, std::memory_order_relaxed);
    for (uint32_t step = 0; step < kInstanceCapacity; ++step) {
        const uint32_t slot = (start + step) % kInstanceCapacity;
        std::atomic<uint64_t>& state = slots[slot].state;
        uint64_t seen = state.load(std::memory_order_acquire);
        // Free, and no call of an earlier instance still in it.
        if (PhaseOf(seen) != kFree || CallsOf(seen) != 0 ||
            !state.compare_exchange_strong(seen, seen | kOpening, std::memory_order_acquire)) {
            continue;
        }
        new (storage[slot]) EngineInstance(configuration, presets);
        // Calls with made-up handles may have counted themselves in meanwhile: keep their count.
        state.fetch_add(kOpen - kOpening, std::memory_order_release);
        return MakeHandle(slot, GenerationOf(seen));
    }
    return nullptr;
}

bool CloseInstance(KovraHandle handle) {
    uint32_t slot = 0;
    uint64_t generation = 0;
    if (!ReadHandle(handle, slot, generation)) {
        return false;
    }
    std::atomic<uint64_t>& state = slots[slot].state;
    uint64_t seen = state.load(std::memory_order_acquire);
    while (PhaseOf(seen) == kOpen && GenerationOf(seen) == generation) {
        // Free, in the next generation; the calls under way keep their count.
        const uint64_t closed = (seen - kOpen) + kOneGeneration;
        if (state.compare_exchange_weak(seen, closed, std::memory_order_acq_rel)) {
            return true;
        }
    }
    return false;
}

InstanceCall::InstanceCall(KovraHandle handle) {
    uint64_t generation = 0;
    if (!ReadHandle(handle, slot_, generation)) {
        return;
    }
    std::atomic<uint64_t>& state = slots[slot_].state;
    const uint64_t seen = state.fetch_add(kOneCall, std::memory_order_acquire);
    if (PhaseOf(seen) != kOpen || GenerationOf(seen) != generation) {
        state.fetch_sub(kOneCall, std::memory_order_release);
        return;
    }
    if (const auto seam = afterHandleChecked.load(std::memory_order_relaxed)) {
        seam();
    }
    instance_ = InstanceIn(slot_);
}

InstanceCall::~InstanceCall() {
    if (instance_ != nullptr) {
        slots[slot_].state.fetch_sub(kOneCall, std::memory_order_release);
    }
}

} // namespace kovra
