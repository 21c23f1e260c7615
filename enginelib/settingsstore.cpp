#include "settingsstore.h"

#include "enginelock.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace kovra {

struct PublishedSettings {
    EngineSettings settings;
    std::atomic<uint32_t> readers{0};
};

namespace {

PublishedSettings copies[2] = {{BuiltInSettings()}, {BuiltInSettings()}};
std::atomic<PublishedSettings*> inForce{&copies[0]};

// For publishers only: one at a time, and the message with them.
struct Publishing {
    EngineLock lock;
    std::string message;
} publishing;

} // namespace

SettingsReading::SettingsReading() {
    // Held first, then checked to be still in force: a publisher that saw no reader before it
    // began to write is seen here as a switch, and the reading starts over. Sequentially
    // consistent, so the publisher's check and the reader's hold cannot pass each other.
    for (;;) {
        held_ = inForce.load();
        held_->readers.fetch_add(1);
        if (inForce.load() == held_) {
            return;
        }
        held_->readers.fetch_sub(1);
    }
}

SettingsReading::~SettingsReading() {
    held_->readers.fetch_sub(1, std::memory_order_release);
}

const EngineSettings& SettingsReading::settings() const {
    return held_->settings;
}

void InstallSettings(const EngineSettings& settings, const std::string& message) {
    std::lock_guard<EngineLock> guard(publishing.lock);
    PublishedSettings* spare = inForce.load() == &copies[0] ? &copies[1] : &copies[0];
    // A reader still holding the spare copy took it before the last switch, and its creation
    // lasts microseconds.
    while (spare->readers.load() != 0) {
        std::this_thread::yield();
    }
    spare->settings = settings;
    inForce.store(spare);
    publishing.message = message;
}

std::string LastInitializeMessage() {
    std::lock_guard<EngineLock> guard(publishing.lock);
    return publishing.message;
}

} // namespace kovra
