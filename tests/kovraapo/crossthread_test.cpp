// The effect across threads: calls that land inside a lock's preset decision, a notification
// or Initialize, and GetLatency on the control thread while reload blocks replace the instance
// on the real-time thread.
#include "endpointtestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <optional>
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

// Runs a call on a thread of its own and waits until it has returned, or, if it is held up (by
// a lock the waiting thread holds), for so long that only a wait explains it; then lets it go
// on, and is joined only when the holder goes. The effect's own calls take microseconds.
class CallOnAnotherThread {
public:
    explicit CallOnAnotherThread(std::function<void()> call)
        : thread([this, call] {
              call();
              returned = true;
          }) {}
    ~CallOnAnotherThread() { thread.join(); }
    bool ReturnedWithoutWaiting() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!returned.load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return returned.load();
    }

private:
    std::atomic<bool> returned{false};
    std::thread thread;
};

std::function<void()> atDecision; // run once inside the next preset decision

void RunAtDecision(KovraAPO*) {
    afterEndpointValuesRead = nullptr;
    const std::function<void()> step = std::move(atDecision);
    step();
}

// One call is caught in the middle (inside a lock's preset decision, or inside a store read of a
// notification or of Initialize) and another call is made then, on another thread or on the same
// one. Nothing may wait for the call caught in the middle, and the enable value the endpoint
// changed to must win whatever the order: 1 selects preset 0 and requests a reload, 0 leaves
// preset 2 after Initialize.
TEST_F(CrossThreadTest, NothingWaitsAndTheNotificationsPresetWins) {
    enum class Caught { LocksDecision, NotificationsRead, InitializesRead };
    struct Case {
        const char* name;
        Caught caught;
        bool otherThread;
        UINT32 initial, changed; // the endpoint's enable value at Initialize, and then
    };
    const Case cases[] = {
        {"notification inside a lock's decision", Caught::LocksDecision, true, 0, 1},
        {"notification inside a lock's decision, nested", Caught::LocksDecision, false, 0, 1},
        {"lock while a notification reads the store", Caught::NotificationsRead, true, 0, 1},
        {"notification while Initialize reads the store", Caught::InitializesRead, true, 0, 1},
        {"notification of 0 while Initialize reads 1", Caught::InitializesRead, true, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComApartment com;
        ASSERT_TRUE(SUCCEEDED(com.result));
        EndpointStore endpoint;
        endpoint.SetUInt32(EnablePropertyKey, c.initial);
        FaultyStore store(endpoint.Get());
        EffectHolder effect(&registration);
        ASSERT_EQ(InitializeWith(effect.effect, &store), S_OK);
        Stream stream(2, 48000, 480);
        const auto lock = [&] { EXPECT_EQ(stream.Lock(effect.effect), S_OK); };
        const auto notify = [&] {
            EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey), S_OK);
        };
        bool returnedWithoutWaiting = false;
        std::optional<CallOnAnotherThread> otherThread; // joined after the call caught returned
        const auto inTheMiddle = [&](const std::function<void()>& other) {
            return [&, other] {
                if (c.caught == Caught::InitializesRead) {
                    endpoint.SetUInt32(EnablePropertyKey, c.changed); // after Initialize read
                }
                if (c.otherThread) {
                    returnedWithoutWaiting = otherThread.emplace(other).ReturnedWithoutWaiting();
                } else {
                    other();
                    returnedWithoutWaiting = true;
                }
            };
        };
        if (c.caught != Caught::InitializesRead) {
            endpoint.SetUInt32(EnablePropertyKey, c.changed);
        }
        switch (c.caught) {
        case Caught::LocksDecision:
            atDecision = inTheMiddle(notify);
            afterEndpointValuesRead = RunAtDecision;
            lock();
            break;
        case Caught::NotificationsRead:
            store.afterNextRead = inTheMiddle(lock);
            notify();
            break;
        case Caught::InitializesRead:
            store.afterNextRead = inTheMiddle(notify);
            EXPECT_EQ(InitializeWith(effect.effect, &store), S_OK);
            break;
        }
        otherThread.reset();
        EXPECT_TRUE(returnedWithoutWaiting);
        EXPECT_EQ(effect->EnableProperty(), c.changed);
        EXPECT_EQ(effect->FilterMode(), c.changed != 0 ? 0u : 2u);
        EXPECT_EQ(effect->ReloadPending(), c.changed);
    }
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
