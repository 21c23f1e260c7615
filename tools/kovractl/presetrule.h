// What the effect makes of its two endpoint properties, in the words the README's table uses,
// and in which order kovractl writes them so that a playing stream follows.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class EndpointProperty { Enable, Mode };

// The preset a stream starts with for the pair; empty when both are non-zero and the effect
// keeps the preset it had.
std::optional<UINT32> PresetForPair(UINT32 enable, UINT32 mode);

// E.g. `preset 0, engine configuration "N_ch": the filters on`.
std::wstring DescribePair(UINT32 enable, UINT32 mode);

struct PropertyWrite {
    EndpointProperty property;
    UINT32 value;
};

// The writes for `set`, in the order that lets a playing stream reach the new pair's preset:
// the effect acts on enable becoming non-zero only while mode is 0, and on mode only while
// enable is 0, so the property that ends at 0 goes first.
std::vector<PropertyWrite> PlanWrites(std::optional<UINT32> enable, std::optional<UINT32> mode);

// The preset a playing stream selects while it is notified of `writes` one by one, starting
// from the pair (enable, mode); empty when no notification selects one.
std::optional<UINT32> PresetSelectedWhilePlaying(UINT32 enable, UINT32 mode,
                                                 const std::vector<PropertyWrite>& writes);
