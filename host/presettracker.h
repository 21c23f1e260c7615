// Follows the effect's published rules for its filter preset, so the report can say which
// preset is in force and which property change makes the effect reload. The host cannot look
// inside the effect; the reload blocks it reports are the ones it observes in the output.
#pragma once

#include "hostoptions.h"

#include <cstdint>
#include <optional>
#include <string>

class PresetTracker {
public:
    // The endpoint's values at Initialize; an absent property reads as 0.
    PresetTracker(std::optional<uint32_t> enable, std::optional<uint32_t> mode);

    // The preset a lock starts with.
    uint32_t Preset() const { return filterMode; }

    // A notification for `property` after the store took `value`. True when the effect selects a
    // preset (even the one in force) and so turns its next valid block into a reload block.
    bool Notify(EndpointProperty property, uint32_t value);

private:
    void UpdateFilterMode();

    uint32_t enable = 0;
    uint32_t mode = 0;
    uint32_t filterMode = 2;
};

// The engine configuration a preset runs: "6_ch" for preset 0, "6_ch_bypass" for 1 and 2.
std::string ConfigurationName(uint32_t inputChannels, uint32_t preset);
