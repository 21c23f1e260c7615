// What opening and closing an engine instance costs: Kovra_create plus Kovra_destroy, and the
// effect's whole reload (create, prepare, load the preset, latency, destroy the old instance),
// each warm (one after the other) and with cold memory (the caches flushed before each round
// by writing 64 MiB). Times come from the processor's time-stamp counter, calibrated against
// the steady clock, since Wine's clock has 100 ns steps. Not a test: it prints the figures.
//   lifecyclebench [rounds, default 2000 warm and a tenth of that cold]
#include "kovraengine.h"

#include <x86intrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double TicksPerMicrosecond() {
    const auto start = std::chrono::steady_clock::now();
    const uint64_t ticks = __rdtsc();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) {
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    return static_cast<double>(__rdtsc() - ticks) / micros;
}

// Writes a buffer larger than any cache, so that the next round finds nothing of its own there.
void FlushCaches() {
    static std::vector<uint8_t> buffer(64u << 20);
    static uint8_t value = 0;
    ++value;
    for (size_t index = 0; index < buffer.size(); index += 64) {
        buffer[index] = value;
    }
}

void CreateAndDestroy(int32_t configuration) {
    KovraHandle handle = nullptr;
    if (Kovra_create(&handle, configuration) != KovraResult_kOk) {
        std::fprintf(stderr, "Kovra_create failed\n");
        std::exit(1);
    }
    Kovra_destroy(handle);
}

// The effect's reload block: a new instance for the stream, the old one destroyed.
KovraHandle Reload(KovraHandle held, int32_t configuration) {
    KovraHandle opened = nullptr;
    if (held != nullptr) {
        Kovra_reset(held);
    }
    if (Kovra_create(&opened, configuration) != KovraResult_kOk) {
        std::fprintf(stderr, "Kovra_create failed\n");
        std::exit(1);
    }
    Kovra_prepareToPlay(opened, 48000, 8, 480, KovraSampleBytes_kFloat32, KovraSampleBytes_kFloat32,
                        KovraOutputLayout_kDefault);
    Kovra_Ambrel_loadFilter(opened, 0);
    uint32_t latency = 0;
    Kovra_getLatency(opened, &latency);
    if (held != nullptr) {
        Kovra_destroy(held);
    }
    return opened;
}

template <class Round> void Measure(const char* what, int rounds, bool cold, Round round) {
    const double ticksPerMicrosecond = TicksPerMicrosecond();
    std::vector<double> micros;
    for (int index = -rounds / 10; index < rounds; ++index) { // the first tenth warms up
        if (cold) {
            FlushCaches();
        }
        const uint64_t start = __rdtsc();
        round();
        const uint64_t stop = __rdtsc();
        if (index >= 0) {
            micros.push_back(static_cast<double>(stop - start) / ticksPerMicrosecond);
        }
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0.0;
    for (double value : micros) {
        sum += value;
    }
    std::printf("%-34s %-5s %7d %10.2f %10.2f %10.2f %10.2f\n", what, cold ? "cold" : "warm",
                rounds, micros[micros.size() / 2], micros[micros.size() * 99 / 100],
                sum / static_cast<double>(micros.size()), micros.back());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    const int32_t configuration = Kovra_getConfigIndexFromName("8_ch");
    std::printf("%-34s %-5s %7s %10s %10s %10s %10s\n", "", "", "rounds", "median us", "p99 us",
                "mean us", "max us");
    for (bool cold : {false, true}) {
        const int count = cold ? std::max(50, rounds / 10) : rounds;
        Measure("Kovra_create + Kovra_destroy", count, cold,
                [configuration] { CreateAndDestroy(configuration); });
        KovraHandle held = Reload(nullptr, configuration);
        Measure("reload (create, prepare, load, ...)", count, cold,
                [&held, configuration] { held = Reload(held, configuration); });
        Kovra_destroy(held);
    }
    return 0;
}
