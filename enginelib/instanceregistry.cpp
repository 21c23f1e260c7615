#include "instanceregistry.h"

#include <atomic>

namespace kovra {
namespace {

struct Slot {
    std::atomic<EngineInstance*> instance{nullptr};
    std::atomic<uint32_t> generation{0};
};

Slot slots[kMaxLiveInstances];

// Bits 0-15: slot number + 1, so no handle is null; above them: the slot's generation.
constexpr int kSlotBits = 16;
static_assert(kMaxLiveInstances < (1u << kSlotBits), "slot numbers must fit their bits");

KovraHandle MakeHandle(uint32_t slot, uint32_t generation) {
    const uintptr_t value = (static_cast<uintptr_t>(generation) << kSlotBits) | (slot + 1);
    return reinterpret_cast<KovraHandle>(value);
}

bool ReadHandle(KovraHandle handle, uint32_t& slot, uint32_t& generation) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t number = value & ((uintptr_t{1} << kSlotBits) - 1);
    if (number == 0 || number > kMaxLiveInstances || (value >> kSlotBits) > UINT32_MAX) {
        return false;
    }
    slot = static_cast<uint32_t>(number - 1);
    generation = static_cast<uint32_t>(value >> kSlotBits);
    return true;
}

} // namespace

KovraHandle RegisterInstance(EngineInstance* instance) {
    for (uint32_t slot = 0; slot < kMaxLiveInstances; ++slot) {
        EngineInstance* empty = nullptr;
        if (slots[slot].instance.compare_exchange_strong(empty, instance,
                                                         std::memory_order_acq_rel)) {
            return MakeHandle(slot, slots[slot].generation.load(std::memory_order_acquire));
        }
    }
    return nullptr;
}

EngineInstance* FindInstance(KovraHandle handle) {
    uint32_t slot = 0;
    uint32_t generation = 0;
    if (!ReadHandle(handle, slot, generation) ||
        slots[slot].generation.load(std::memory_order_acquire) != generation) {
        return nullptr;
    }
    return slots[slot].instance.load(std::memory_order_acquire);
}

EngineInstance* ReleaseInstance(KovraHandle handle) {
    uint32_t slot = 0;
    uint32_t generation = 0;
    if (!ReadHandle(handle, slot, generation)) {
        return nullptr;
    }
    EngineInstance* instance = slots[slot].instance.load(std::memory_order_acquire);
    // Moving the generation on ends the handle; only one caller can move it from this value.
    if (instance == nullptr || !slots[slot].generation.compare_exchange_strong(
                                   generation, generation + 1, std::memory_order_acq_rel)) {
        return nullptr;
    }
    slots[slot].instance.store(nullptr, std::memory_order_release);
    return instance;
}

} // namespace kovra
