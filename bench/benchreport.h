// The benchmark's tables: the cost of each block through the effect and directly, and the
// throughput beside sox's on the same file and chain.
#pragma once

#include "benchcase.h"
#include "soxcompare.h"
#include "soxchain.h"

#include <cstdio>
#include <optional>
#include <vector>

struct BenchRow {
    CaseResult result;
    std::optional<SoxTiming> sox;
    std::optional<double> soxDifferenceDb;
    SoxChain chain;
};

void PrintCostTable(std::FILE* out, const std::vector<BenchRow>& rows);
// The reload blocks of each case against its ordinary blocks.
void PrintReloadTable(std::FILE* out, const std::vector<BenchRow>& rows);
void PrintSoxTable(std::FILE* out, const std::vector<BenchRow>& rows);
// The sox chain of each layout and preset, once per distinct chain.
void PrintSoxChains(std::FILE* out, const std::vector<BenchRow>& rows);
