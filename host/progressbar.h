// A one-line progress bar on a terminal: redrawn only when the shown percentage changes, so a
// long file costs a hundred writes at most.
#pragma once

#include "hostoptions.h"

#include <cstdint>
#include <cstdio>

class ProgressBar {
public:
    ProgressBar(FILE* stream, uint64_t totalFrames, uint32_t sampleRate, bool enabled);

    void Update(uint64_t framesDone);
    // Ends the line so later output starts on a fresh one.
    void Finish();

    bool Enabled() const { return enabled; }

private:
    FILE* stream;
    uint64_t totalFrames;
    uint32_t sampleRate;
    bool enabled;
    int shownPercent = -1;
};

// Whether to show the bar: always/never by option, else on a terminal for files of 30 s or more.
bool ShouldShowProgress(ProgressChoice choice, bool stderrIsTerminal, double durationSeconds);
