// The real-time promise of the C interface: opening, playing and closing an instance, as the
// effect does in its reload block on the audio thread, never touches the heap or the lock.
#include "enginetesting.h"
#include "kovraengine.h"
#include "kovraprobe.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

KovraProbeCounts ReadProbe() {
    KovraProbeCounts counts{};
    KovraProbe_read(&counts);
    return counts;
}

void ExpectUnchanged(const KovraProbeCounts& before, const KovraProbeCounts& after) {
    EXPECT_EQ(before.allocations, after.allocations);
    EXPECT_EQ(before.frees, after.frees);
    EXPECT_EQ(before.locks, after.locks);
}

TEST(RealTimeSafety, InstancesOpenPlayAndCloseOffTheHeapAndTheLock) {
    for (int index = 0; index < kovra::kConfigurationCount; ++index) {
        SCOPED_TRACE(kovra::ConfigurationName(index));
        const int channels = kovra::ChannelCountOfConfiguration(index);
        const std::vector<float> input(static_cast<size_t>(channels) * 2000, 0.5f);
        std::vector<float> output(2 * 2000);
        const KovraProbeCounts before = ReadProbe();
        // An instance replaced as the effect replaces it, with every call it may make between.
        KovraHandle held = nullptr;
        for (int round = 0; round < 3; ++round) {
            KovraHandle opened = nullptr;
            if (held != nullptr) {
                Kovra_reset(held);
            }
            ASSERT_EQ(KovraResult_kOk, Kovra_create(&opened, index));
            Kovra_prepareToPlay(opened, 48000, channels, 480, KovraSampleBytes_kFloat32,
                                KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
            Kovra_Ambrel_loadFilter(opened, round);
            uint32_t latency = 0;
            Kovra_getLatency(opened, &latency);
            Kovra_processBlock(opened, input.data(), output.data(), 480);
            Kovra_Ambrel_loadFilter(opened, (round + 1) % 3);              // a live switch
            Kovra_processBlock(opened, input.data(), output.data(), 2000); // in pieces
            if (held != nullptr) {
                Kovra_destroy(held);
            }
            held = opened;
        }
        Kovra_destroy(held);
        ExpectUnchanged(before, ReadProbe());
    }
}

TEST(RealTimeSafety, ProbeSeesTheHeapAndTheLock) {
    // Reading a configuration allocates, frees and publishes under the lock: the probe behind the
    // test above must see what it is meant to catch.
    kovra_test::BuiltInSettingsAfterwards restore;
    const KovraProbeCounts before = ReadProbe();
    Kovra_initialize(kovra_test::ShippedConfigurationPath().c_str());
    const KovraProbeCounts after = ReadProbe();
    EXPECT_GT(after.allocations, before.allocations);
    EXPECT_GT(after.frees, before.frees);
    EXPECT_GT(after.locks, before.locks);
}

} // namespace
