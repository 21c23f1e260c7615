// The effect across threads: a notification that lands inside a lock's preset decision, and
// GetLatency on the control thread while reload blocks replace the instance on the real-time
// thread.
#include "endpointtestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

using namespace effecttest;
using recordingengine::Call;
using recordingengine::CallsOf;

namespace {

class CrossThreadTest : public EffectTest {
protected:
    void TearDown() override {
        afterEndpointValuesRead = nullptr;
        EffectTest::TearDown();
    }
};

// What the seam inside the lock's preset decision does: starts the notification on a thread
// of its own and lets the decision go on once that thread is held up at the settings lock, or
// once it has finished when nothing holds it up.
struct NotificationInsideTheDecision {
    TestableKovraAPO* effect = nullptr;
    std::thread notifier;
    std::atomic<bool> finished{false};
};
NotificationInsideTheDecision* inside = nullptr;

void RunNotificationInsideTheDecision(KovraAPO*) {
    afterEndpointValuesRead = nullptr; // once
    inside->notifier = std::thread([] {
        inside->effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey);
        inside->finished = true;
    });
    while (inside->effect->SettingsWaiters() == 0 && !inside->finished.load()) {
        std::this_thread::yield();
    }
}

// The lock reads enable 0 and mode 0 (preset 2); the notification then turns enable on, which
// selects preset 0 and raises the reload. The lock's decision must not overwrite that.
TEST_F(CrossThreadTest, NotificationInsideTheLocksPresetDecisionIsKept) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.result));
    EndpointStore store;
    EffectHolder effect(&registration);
    ASSERT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    store.SetUInt32(EnablePropertyKey, 1);

    NotificationInsideTheDecision notification;
    notification.effect = effect.effect;
    inside = &notification;
    afterEndpointValuesRead = RunNotificationInsideTheDecision;
    Stream stream(2, 48000, 480);
    const HRESULT locked = stream.Lock(effect.effect);
    ASSERT_TRUE(notification.notifier.joinable());
    notification.notifier.join();
    inside = nullptr;
    ASSERT_EQ(locked, S_OK);

    EXPECT_EQ(effect->FilterMode(), 0u);
    EXPECT_EQ(effect->ReloadPending(), 1u);
    Block(stream, 480, BUFFER_VALID).Run(effect.effect);
    const auto loads = CallsOf(Call::LoadFilter);
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.back().arguments[0], 0);
    EXPECT_STREQ(CallsOf(Call::GetConfigIndexFromName).back().name, "2_ch");
}

constexpr int kReloadBlocks = 20000;

// Each reload block replaces the instance while the control thread asks for the latency
// without pause. Nothing may reach an instance that was destroyed, no more than two instances
// may live at once, and every answer must be the latency of a configuration in use.
TEST_F(CrossThreadTest, LatencyDuringReloadsNeverReachesAReplacedInstance) {
    recordingengine::SetLatencyFrames("2_ch", 480);       // 100000 at 48000 Hz
    recordingengine::SetLatencyFrames("2_ch_bypass", 96); // 20000
    EffectHolder effect(&registration);
    effect->SetEndpointValues(1, 0);
    Stream stream(2, 48000, 64);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);

    std::atomic<bool> done{false};
    std::thread realtime([&] {
        Block block(stream, 64, BUFFER_VALID);
        for (int i = 1; i <= kReloadBlocks; ++i) {
            effect->SetFilterMode(static_cast<UINT32>(i % 3));
            effect->RequestReload();
            block.Run(effect.effect);
            block.Run(effect.effect);
        }
        done = true;
    });
    long questions = 0;
    long wrongAnswers = 0;
    while (!done.load()) {
        HNSTIME latency = -1;
        const HRESULT hr = effect->GetLatency(&latency);
        wrongAnswers += hr != S_OK || (latency != 100000 && latency != 20000);
        ++questions;
    }
    realtime.join();
    std::cout << "[ figures  ] " << kReloadBlocks << " reload blocks against " << questions
              << " latency questions\n";

    EXPECT_EQ(wrongAnswers, 0);
    EXPECT_EQ(recordingengine::CallsOnDestroyedInstances(), 0u);
    EXPECT_EQ(recordingengine::PeakLiveInstances(), 2u);
    EXPECT_EQ(recordingengine::LiveInstances(), 1u);
    HNSTIME latency = -1;
    EXPECT_EQ(effect->GetLatency(&latency), S_OK);
    EXPECT_EQ(latency, kReloadBlocks % 3 == 0 ? 100000 : 20000); // the last preset's
    EXPECT_EQ(effect->UnlockForProcess(), S_OK);
    EXPECT_EQ(recordingengine::LiveInstances(), 0u);
}

} // namespace
