// Endpoint notifications on one thread while the real-time thread processes blocks: no block
// may run on an instance whose configuration and preset disagree, and whenever the
// notifications pause, the next valid blocks run with the preset that the last one selected.
#include "endpointtestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <string>
#include <thread>

using namespace effecttest;
using recordingengine::Call;

namespace {

constexpr int kNotifications = 50000;
constexpr int kCheckOneIn = 2; // notifications between checks: 1 to many, by chance
constexpr int kLead = 4;       // blocks the real-time thread may run ahead of the notifications

// The notification handler's decision table, kept by the test alongside the effect.
struct PresetModel {
    UINT32 enable = 0, mode = 0, preset = 2;
    void Notify(bool enableKey, UINT32 value) {
        if (enableKey) {
            enable = value;
            if (value != 0 && mode == 0) {
                preset = 0;
            }
        } else {
            mode = value;
            if (enable == 0) {
                preset = value != 0 ? 1 : 2;
            }
        }
    }
};

// Follows the recorded engine calls: which configuration and preset each instance has, and
// which instance the last processed block ran on. Every processed block must run on an
// instance with a loaded preset that matches its configuration.
class EngineReplay {
public:
    struct Instance {
        std::string configuration;
        int64_t preset = -1; // none loaded
    };

    // Takes the calls recorded since the last call; false at the first torn block.
    bool CatchUp() {
        for (const size_t count = recordingengine::CallCount(); next < count; ++next) {
            const recordingengine::Record& record = recordingengine::CallAt(next);
            if (record.call == Call::Create) {
                instances[record.handle] = {
                    recordingengine::ConfigurationNameOf(record.arguments[0]), -1};
            } else if (record.call == Call::LoadFilter) {
                instances[record.handle].preset = record.arguments[0];
            } else if (record.call == Call::ProcessBlock) {
                last = instances[record.handle];
                const bool bypass = last.configuration.find("_bypass") != std::string::npos;
                if (last.preset < 0 || bypass != (last.preset != 0)) {
                    ADD_FAILURE() << "block " << processed << " ran on " << last.configuration
                                  << " with preset " << last.preset;
                    return false;
                }
                ++processed;
            }
        }
        return true;
    }

    Instance last;
    size_t processed = 0;

private:
    std::map<KovraHandle, Instance> instances;
    size_t next = 0;
};

class EndpointStressTest : public EffectTest {
protected:
    ComApartment com;
    EndpointStore store;
    EffectHolder effect{&registration};
    Stream stream{2, 48000, 64};
};

TEST_F(EndpointStressTest, NotificationsDuringProcessingLoseNoReload) {
    ASSERT_TRUE(SUCCEEDED(com.result));
    ASSERT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK); // "2_ch_bypass" with preset 2

    // The real-time thread runs blocks up to `allowed`. The notifying thread keeps it a few
    // blocks ahead, so that notifications land on every part of the routine, reload blocks
    // included; at a check it lets two more blocks run and waits for the thread to stand still.
    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    std::atomic<int> allowed{kLead};
    std::thread realtime([&] {
        Block block(stream, 64, BUFFER_VALID);
        while (running.load()) {
            if (blocks.load() >= allowed.load()) {
                std::this_thread::yield();
                continue;
            }
            block.Run(effect.effect);
            ++blocks;
        }
    });
    struct StopOnExit {
        std::atomic<bool>& running;
        std::thread& thread;
        ~StopOnExit() {
            running = false;
            thread.join();
        }
    } stopOnExit{running, realtime};
    const auto runTwoBlocksAndWait = [&] {
        const int target = std::max(allowed.load(), blocks.load() + 2);
        allowed = target;
        while (blocks.load() < target) {
            std::this_thread::yield();
        }
    };

    PresetModel model;
    EngineReplay replay;
    std::minstd_rand random(20240611);
    for (int n = 1; n <= kNotifications; ++n) {
        const bool enableKey = random() % 2 == 0;
        const UINT32 value = random() % 3;
        store.SetUInt32(enableKey ? EnablePropertyKey : ModePropertyKey, value);
        model.Notify(enableKey, value);
        EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint",
                                                 enableKey ? EnablePropertyKey : ModePropertyKey),
                  S_OK);
        allowed = std::max(allowed.load(), blocks.load() + kLead);
        if (random() % kCheckOneIn != 0) {
            continue;
        }
        runTwoBlocksAndWait();
        ASSERT_TRUE(replay.CatchUp());
        ASSERT_EQ(effect->FilterMode(), model.preset) << "after notification " << n;
        ASSERT_EQ(effect->ReloadPending(), 0u) << "after notification " << n;
        ASSERT_EQ(replay.last.preset, model.preset) << "a reload was lost before " << n;
    }
    // The last notification selects a preset whatever came before: enable off, then mode on.
    for (const bool enableKey : {true, false}) {
        store.SetUInt32(enableKey ? EnablePropertyKey : ModePropertyKey, enableKey ? 0 : 1);
        effect->OnPropertyValueChanged(L"endpoint",
                                       enableKey ? EnablePropertyKey : ModePropertyKey);
    }
    runTwoBlocksAndWait();
    ASSERT_TRUE(replay.CatchUp());
    EXPECT_EQ(replay.last.preset, 1);
    EXPECT_EQ(replay.last.configuration, "2_ch_bypass");
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

} // namespace
