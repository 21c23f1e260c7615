#include "presettracker.h"

PresetTracker::PresetTracker(std::optional<uint32_t> enableValue, std::optional<uint32_t> modeValue)
    : enable(enableValue.value_or(0)), mode(modeValue.value_or(0)) {
    UpdateFilterMode();
}

void PresetTracker::UpdateFilterMode() {
    if (enable != 0 && mode == 0) {
        filterMode = 0;
    } else if (enable == 0 && mode != 0) {
        filterMode = 1;
    } else if (enable == 0 && mode == 0) {
        filterMode = 2;
    }
}

bool PresetTracker::Notify(EndpointProperty property, uint32_t value) {
    if (property == EndpointProperty::Enable) {
        enable = value;
        if (value != 0 && mode == 0) {
            filterMode = 0;
            return true;
        }
        return false;
    }
    mode = value;
    if (enable == 0) {
        filterMode = value != 0 ? 1 : 2;
        return true;
    }
    return false;
}

std::string ConfigurationName(uint32_t inputChannels, uint32_t preset) {
    std::string name = std::to_string(inputChannels) + "_ch";
    return preset == 0 ? name : name + "_bypass";
}
