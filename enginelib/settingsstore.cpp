#include "settingsstore.h"

#include <mutex>

namespace kovra {
namespace {

struct Store {
    std::mutex mutex;
    EngineSettings settings = BuiltInSettings();
    std::string message;
};

Store& TheStore() {
    static Store store;
    return store;
}

} // namespace

EngineSettings CurrentSettings() {
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.mutex);
    return store.settings;
}

void InstallSettings(const EngineSettings& settings, const std::string& message) {
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.mutex);
    store.settings = settings;
    store.message = message;
}

std::string LastInitializeMessage() {
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.mutex);
    return store.message;
}

} // namespace kovra
