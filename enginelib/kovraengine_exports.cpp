// The C interface of KovraAPI_SHARED: validates arguments and hands each call to the instance
// or the settings store. Nothing thrown gets past these functions.
#include "kovraengine.h"

#include "configfile.h"
#include "engineinstance.h"
#include "instancepool.h"
#include "kovramessages.h"
#include "settingsstore.h"

#include <algorithm>
#include <cstring>

using kovra::InstanceCall;

extern "C" {

KOVRA_API KovraResult Kovra_initialize(const char* configPath) {
    try {
        const kovra::LoadOutcome outcome = kovra::LoadConfigurationFile(configPath);
        kovra::InstallSettings(outcome.settings, outcome.message);
        return outcome.result;
    } catch (...) {
        return KovraResult_kErrorMemory;
    }
}

KOVRA_API int32_t Kovra_getConfigIndexFromName(const char* configName) {
    const int index = kovra::ConfigurationIndexFromName(configName);
    return index < 0 ? KOVRA_CONFIG_INDEX_UNKNOWN : index;
}

KOVRA_API KovraResult Kovra_create(KovraHandle* handle, int32_t configIndex) {
    if (handle == nullptr) {
        return KovraResult_kErrorParameter;
    }
    if (configIndex < 0 || configIndex >= kovra::kConfigurationCount) {
        return KovraResult_kErrorIndexOutOfRange;
    }
    const kovra::SettingsReading reading;
    const KovraHandle created = kovra::OpenInstance(reading.settings().configurations[configIndex],
                                                    reading.settings().presets);
    if (created == nullptr) {
        return KovraResult_kErrorMemory;
    }
    *handle = created;
    return KovraResult_kOk;
}

KOVRA_API KovraResult Kovra_prepareToPlay(KovraHandle handle, int32_t sampleRate,
                                          int32_t channelCount, int32_t maxBlockFrames,
                                          int32_t inputSampleBytes, int32_t outputSampleBytes,
                                          int32_t outputLayout) {
    const InstanceCall instance(handle);
    if (!instance) {
        return KovraResult_kInvalidHandle;
    }
    kovra::StreamShape shape;
    shape.sampleRate = sampleRate;
    shape.channelCount = channelCount;
    shape.maxBlockFrames = maxBlockFrames;
    shape.inputSampleBytes = inputSampleBytes;
    shape.outputSampleBytes = outputSampleBytes;
    shape.outputLayout = outputLayout;
    return instance->prepare(shape);
}

KOVRA_API KovraResult Kovra_reset(KovraHandle handle) {
    const InstanceCall instance(handle);
    if (!instance) {
        return KovraResult_kInvalidHandle;
    }
    instance->reset();
    return KovraResult_kOk;
}

KOVRA_API KovraResult Kovra_Ambrel_loadFilter(KovraHandle handle, int32_t preset) {
    const InstanceCall instance(handle);
    if (!instance) {
        return KovraResult_kInvalidHandle;
    }
    return instance->loadPreset(preset);
}

KOVRA_API KovraResult Kovra_processBlock(KovraHandle handle, const float* input, float* output,
                                         uint32_t frameCount) {
    const InstanceCall instance(handle);
    if (!instance) {
        return KovraResult_kInvalidHandle;
    }
    return instance->process(input, output, frameCount);
}

KOVRA_API KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latencyFrames) {
    const InstanceCall instance(handle);
    if (!instance) {
        return KovraResult_kInvalidHandle;
    }
    if (latencyFrames == nullptr) {
        return KovraResult_kErrorParameter;
    }
    *latencyFrames = instance->latencyFrames();
    return KovraResult_kOk;
}

KOVRA_API KovraResult Kovra_destroy(KovraHandle handle) {
    return kovra::CloseInstance(handle) ? KovraResult_kOk : KovraResult_kInvalidHandle;
}

KOVRA_API KovraResult Kovra_getInitializeMessage(char* text, uint32_t capacity) {
    if (text == nullptr || capacity == 0) {
        return KovraResult_kErrorParameter;
    }
    try {
        const std::string message = kovra::LastInitializeMessage();
        const size_t copied = std::min<size_t>(message.size(), capacity - 1);
        std::memcpy(text, message.data(), copied);
        text[copied] = '\0';
        return copied < message.size() ? KovraResult_kBufferTooSmall : KovraResult_kOk;
    } catch (...) {
        text[0] = '\0';
        return KovraResult_kErrorMemory;
    }
}

} // extern "C"
