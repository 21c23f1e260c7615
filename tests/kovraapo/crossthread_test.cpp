// The effect across threads: GetLatency on the control thread while reload blocks replace the
// instance on the real-time thread.
#include "endpointtestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

using namespace effecttest;
using recordingengine::Call;
using recordingengine::CallsOf;

namespace {

using CrossThreadTest = EffectTest;

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
