#include "recordingengine.h"

#include <atomic>
#include <cstring>
#include <set>

namespace recordingengine {
namespace {

const char* const kConfigurationNames[] = {"2_ch",        "2_ch_bypass", "6_ch",
                                           "6_ch_bypass", "8_ch",        "8_ch_bypass"};
constexpr int32_t kConfigurationCount = 6;

struct Instance {
    int32_t configIndex;
};

std::vector<Record>& MutableCalls() {
    static std::vector<Record> calls;
    return calls;
}

std::set<Instance*>& Live() {
    static std::set<Instance*> live;
    return live;
}

std::atomic<uint32_t> latencyFrames{0};

Record& Append(Call call, KovraHandle handle) {
    Record record{};
    record.call = call;
    record.handle = handle;
    MutableCalls().push_back(record);
    return MutableCalls().back();
}

} // namespace

void Clear() {
    MutableCalls().clear();
    MutableCalls().reserve(1 << 16);
    for (Instance* instance : Live()) {
        delete instance;
    }
    Live().clear();
    latencyFrames = 0;
}

const std::vector<Record>& Calls() {
    return MutableCalls();
}

std::vector<Record> CallsOf(Call call) {
    std::vector<Record> matching;
    for (const Record& record : MutableCalls()) {
        if (record.call == call) {
            matching.push_back(record);
        }
    }
    return matching;
}

size_t LiveInstances() {
    return Live().size();
}

void SetLatencyFrames(uint32_t frames) {
    latencyFrames = frames;
}

std::string ConfigurationNameOf(int64_t index) {
    return index >= 0 && index < kConfigurationCount ? kConfigurationNames[index] : "";
}

} // namespace recordingengine

using recordingengine::Append;
using recordingengine::Call;

extern "C" {

KovraResult Kovra_initialize(const char* configPath) {
    auto& record = Append(Call::Initialize, nullptr);
    std::strncpy(record.name, configPath ? configPath : "", sizeof record.name - 1);
    return KovraResult_kOk;
}

int32_t Kovra_getConfigIndexFromName(const char* configName) {
    auto& record = Append(Call::GetConfigIndexFromName, nullptr);
    std::strncpy(record.name, configName ? configName : "", sizeof record.name - 1);
    for (int32_t index = 0; index < recordingengine::kConfigurationCount; ++index) {
        if (configName &&
            std::strcmp(configName, recordingengine::kConfigurationNames[index]) == 0) {
            record.arguments[0] = index;
            return index;
        }
    }
    record.arguments[0] = KOVRA_CONFIG_INDEX_UNKNOWN;
    return KOVRA_CONFIG_INDEX_UNKNOWN;
}

KovraResult Kovra_create(KovraHandle* handle, int32_t configIndex) {
    if (!handle || configIndex < 0 || configIndex >= recordingengine::kConfigurationCount) {
        auto& record = Append(Call::Create, nullptr);
        record.arguments[0] = configIndex;
        return KovraResult_kErrorIndexOutOfRange;
    }
    auto* instance = new recordingengine::Instance{configIndex};
    recordingengine::Live().insert(instance);
    *handle = instance;
    auto& record = Append(Call::Create, instance);
    record.arguments[0] = configIndex;
    return KovraResult_kOk;
}

KovraResult Kovra_prepareToPlay(KovraHandle handle, int32_t sampleRate, int32_t channelCount,
                                int32_t maxBlockFrames, int32_t inputSampleBytes,
                                int32_t outputSampleBytes, int32_t outputLayout) {
    auto& record = Append(Call::PrepareToPlay, handle);
    const int64_t arguments[] = {sampleRate,       channelCount,      maxBlockFrames,
                                 inputSampleBytes, outputSampleBytes, outputLayout};
    std::memcpy(record.arguments, arguments, sizeof arguments);
    return handle ? KovraResult_kOk : KovraResult_kInvalidHandle;
}

KovraResult Kovra_reset(KovraHandle handle) {
    Append(Call::Reset, handle);
    return handle ? KovraResult_kOk : KovraResult_kInvalidHandle;
}

KovraResult Kovra_Ambrel_loadFilter(KovraHandle handle, int32_t preset) {
    Append(Call::LoadFilter, handle).arguments[0] = preset;
    return handle ? KovraResult_kOk : KovraResult_kInvalidHandle;
}

KovraResult Kovra_processBlock(KovraHandle handle, const float* input, float* output,
                               uint32_t frameCount) {
    auto& record = Append(Call::ProcessBlock, handle);
    record.arguments[0] = frameCount;
    record.input = input;
    record.output = output;
    return handle ? KovraResult_kOk : KovraResult_kInvalidHandle;
}

KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latency) {
    Append(Call::GetLatency, handle);
    if (!handle || !latency) {
        return KovraResult_kInvalidHandle;
    }
    *latency = recordingengine::latencyFrames;
    return KovraResult_kOk;
}

KovraResult Kovra_destroy(KovraHandle handle) {
    Append(Call::Destroy, handle);
    auto* instance = static_cast<recordingengine::Instance*>(handle);
    if (!instance || recordingengine::Live().erase(instance) == 0) {
        return KovraResult_kInvalidHandle;
    }
    delete instance;
    return KovraResult_kOk;
}

} // extern "C"
