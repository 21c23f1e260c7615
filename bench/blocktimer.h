// Times the blocks of one pass over a file. Each block is first copied into the stream's input
// buffer, untimed, as the audio engine fills the connection buffer before it calls the effect;
// only the processing call itself is inside the measurement.
#pragma once

#include <x86intrin.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// A whole file in memory: interleaved float samples.
struct BenchAudio {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint64_t frames = 0;
    std::vector<float> samples;
};

struct PassTimes {
    std::vector<double> blockSeconds;
    double totalSeconds = 0.0;
};

// Block time from the processor's time-stamp counter: under Wine the performance counter moves
// in 100 ns steps, too coarse for blocks that take a few microseconds, while the time-stamp
// counter of current x86 processors runs at a constant rate. It is calibrated once against the
// performance counter.
class BlockClock {
public:
    static uint64_t Now() {
        _mm_lfence(); // the call before must be done when the counter is read
        return __rdtsc();
    }
    static double Seconds(uint64_t ticks) { return static_cast<double>(ticks) / TicksPerSecond(); }
    static double TicksPerSecond();
};

// `stage` offers Before(frames) and After(block, frames), untimed, around Run(frames), timed.
// Only whole periods are used, so every call gets the same block size.
template <typename Stage>
PassTimes TimePass(const BenchAudio& audio, uint32_t periodFrames, float* input, Stage& stage) {
    const size_t blockSamples = static_cast<size_t>(periodFrames) * audio.channels;
    const size_t blocks = static_cast<size_t>(audio.frames / periodFrames);
    PassTimes times;
    times.blockSeconds.reserve(blocks);
    for (size_t block = 0; block < blocks; ++block) {
        std::copy_n(audio.samples.begin() + static_cast<ptrdiff_t>(block * blockSamples),
                    blockSamples, input);
        stage.Before(periodFrames);
        const uint64_t start = BlockClock::Now();
        stage.Run(periodFrames);
        const double seconds = BlockClock::Seconds(BlockClock::Now() - start);
        times.blockSeconds.push_back(seconds);
        times.totalSeconds += seconds;
        stage.After(block, periodFrames);
    }
    return times;
}
