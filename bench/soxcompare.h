// sox's side of the comparison, as bench.sh leaves it in the work folder: its timings, and the
// first seconds of its output for a check that sox ran the same chain as the effect.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

struct SoxTiming {
    double framesPerSecond = 0.0;        // the whole run, start-up taken out
    double effectsFramesPerSecond = 0.0; // the chain alone: reading the file taken out too
};

using CaseKey = std::tuple<uint32_t, uint32_t, uint32_t>; // channels, rate, preset

// Lines "CHANNELS RATE PRESET FRAMES_PER_SECOND EFFECTS_FRAMES_PER_SECOND". A missing or
// unreadable file gives an empty map; a line that does not parse is skipped.
std::map<CaseKey, SoxTiming> ReadSoxTimings(const std::wstring& path);

// The level of the difference between sox's stereo output and ours, in dB against ours, over
// the frames both have; ours lags by `latencyFrames` (the limiter's look-ahead), which are
// skipped. False with `error` set when sox's file cannot be read or does not match.
bool SoxDifferenceDb(const std::wstring& soxOutputPath, const std::vector<float>& ours,
                     uint32_t latencyFrames, double& differenceDb, std::string& error);
