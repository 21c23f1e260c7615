#include "presetrule.h"

std::optional<UINT32> PresetForPair(UINT32 enable, UINT32 mode) {
    if (enable != 0 && mode != 0) {
        return std::nullopt;
    }
    if (enable != 0) {
        return 0u;
    }
    return mode != 0 ? 1u : 2u;
}

std::wstring DescribePair(UINT32 enable, UINT32 mode) {
    const std::optional<UINT32> preset = PresetForPair(enable, mode);
    if (!preset) {
        return L"the preset it had (2 for a new effect)";
    }
    if (*preset == 0) {
        return L"preset 0, engine configuration \"N_ch\": the filters on";
    }
    return L"preset " + std::to_wstring(*preset) + L", engine configuration \"N_ch_bypass\"";
}

std::vector<PropertyWrite> PlanWrites(std::optional<UINT32> enable, std::optional<UINT32> mode) {
    std::vector<PropertyWrite> writes;
    const bool modeFirst = enable && *enable != 0;
    if (mode && modeFirst) {
        writes.push_back({EndpointProperty::Mode, *mode});
    }
    if (enable) {
        writes.push_back({EndpointProperty::Enable, *enable});
    }
    if (mode && !modeFirst) {
        writes.push_back({EndpointProperty::Mode, *mode});
    }
    return writes;
}

std::optional<UINT32> PresetSelectedWhilePlaying(UINT32 enable, UINT32 mode,
                                                 const std::vector<PropertyWrite>& writes) {
    std::optional<UINT32> selected;
    for (const PropertyWrite& write : writes) {
        if (write.property == EndpointProperty::Enable) {
            enable = write.value;
            if (enable != 0 && mode == 0) {
                selected = 0u;
            }
        } else {
            mode = write.value;
            if (enable == 0) {
                selected = mode != 0 ? 1u : 2u;
            }
        }
    }
    return selected;
}
