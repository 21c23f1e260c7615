// The summary a run prints: what was negotiated, how the presets went, and how fast the effect
// was against the period it had.
#pragma once

#include "apocontract.h"
#include "formatnegotiation.h"
#include "hostoptions.h"
#include "periodstats.h"
#include "processingloop.h"
#include "wavformat.h"

#include <cstdio>
#include <string>
#include <vector>

struct RunSummary {
    std::string inputPath;
    std::string outputPath;
    WavFormat inputFormat;
    OutputEncoding outputEncoding = OutputEncoding::Float32;
    UNCOMPRESSEDAUDIOFORMAT inputStream{};
    UNCOMPRESSEDAUDIOFORMAT outputStream{};
    uint32_t periodFrames = 0;
    HRESULT latencyResult = E_FAIL;
    HNSTIME latency = 0;
    std::optional<uint32_t> enable;
    std::optional<uint32_t> mode;
    std::vector<std::string> inputNotes; // what the reader decided beyond the headers
    std::string originalPath;            // set when the input is a conversion of this file
    OriginalFile original;
    std::vector<std::string> originalNotes;
    std::vector<std::string> conversion; // the conversion in words, one line each
    LoopResult loop;
    uint64_t clippedSamples = 0;
    std::string unloadAnswer;
    long storeReferencesLeft = 0;
};

void PrintSummary(FILE* stream, const RunSummary& summary);
