// One line of the benchmark: a file of one layout and rate through the registered effect with
// one preset, and the same blocks through the engine library called directly.
#pragma once

#include "blocktimer.h"
#include "periodstats.h"

#include <string>
#include <vector>

struct CaseResult {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t preset = 0;
    std::string configuration; // the engine configuration the effect opened
    uint32_t periodFrames = 0;
    uint32_t latencyFrames = 0;     // what the effect's GetLatency reports
    PeriodTiming effect;            // APOProcess, every block of the timed passes
    PeriodTiming direct;            // Kovra_processBlock, the same blocks
    PeriodTiming reload;            // APOProcess of the reload blocks of the reload pass
    double effectPassSeconds = 0.0; // the effect's fastest timed pass over the whole file
    uint64_t framesPerPass = 0;
    bool sameOutput = false;        // the effect's output equals the direct calls' bit for bit
    std::vector<float> firstOutput; // the effect's stereo output of the first pass
};

struct CasePlan {
    uint32_t preset = 0;
    uint32_t periodFrames = 0;
    int timedPasses = 5; // after one untimed pass that warms up and checks the output
    // Then one pass in which a notification (untimed) before every so many blocks turns the
    // block into a reload block.
    uint32_t reloadEvery = 4;
};

// False with `error` set when the effect or the engine cannot run the case.
bool RunCase(const BenchAudio& audio, const CasePlan& plan, CaseResult& result, std::string& error);
