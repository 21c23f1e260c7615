#include "recordingengine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace recordingengine {
namespace {

const char* const kConfigurationNames[] = {"2_ch",        "2_ch_bypass", "6_ch",
                                           "6_ch_bypass", "8_ch",        "8_ch_bypass"};
constexpr int32_t kConfigurationCount = 6;

struct Instance {
    int32_t configIndex;
    bool destroyed;
};

// Everything the stand-in keeps, behind one mutex: calls may arrive from several threads.
struct State {
    std::mutex mutex;
    std::vector<Record> calls;
    std::set<Instance*> instances; // destroyed ones included, until Clear
    size_t live = 0;
    size_t peakLive = 0;
    size_t nullHandleCalls = 0;
    size_t destroyedInstanceCalls = 0;
    std::array<uint32_t, kConfigurationCount> latencyFrames{};
    bool failCreate = false;
    std::map<Call, std::function<void()>> hooks;
};

State& Engine() {
    static State state;
    return state;
}

// Records a call on `handle` and notes a null or stale handle. Returns the hook to run, if any.
const std::function<void()>* Append(const Record& record, bool takesHandle) {
    State& engine = Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    engine.calls.push_back(record);
    if (takesHandle) {
        auto* instance = static_cast<Instance*>(record.handle);
        if (!instance) {
            ++engine.nullHandleCalls;
        } else if (engine.instances.count(instance) != 0 && instance->destroyed) {
            ++engine.destroyedInstanceCalls;
        }
    }
    const auto hook = engine.hooks.find(record.call);
    return hook != engine.hooks.end() && hook->second ? &hook->second : nullptr;
}

void Run(const std::function<void()>* hook) {
    if (hook) {
        (*hook)();
    }
}

Record MakeRecord(Call call, KovraHandle handle) {
    Record record{};
    record.call = call;
    record.handle = handle;
    return record;
}

// The instance behind a handle that is live, else null.
Instance* LiveInstance(KovraHandle handle) {
    State& engine = Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    auto* instance = static_cast<Instance*>(handle);
    return instance && engine.instances.count(instance) != 0 && !instance->destroyed ? instance
                                                                                     : nullptr;
}

} // namespace

void Clear() {
    State& engine = Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    engine.calls.clear();
    engine.calls.reserve(1 << 16);
    for (Instance* instance : engine.instances) {
        delete instance;
    }
    engine.instances.clear();
    engine.live = 0;
    engine.peakLive = 0;
    engine.nullHandleCalls = 0;
    engine.destroyedInstanceCalls = 0;
    engine.latencyFrames.fill(0);
    engine.failCreate = false;
    engine.hooks.clear();
}

const std::vector<Record>& Calls() {
    return Engine().calls;
}

std::vector<Record> CallsOf(Call call) {
    State& engine = Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    std::vector<Record> matching;
    for (const Record& record : engine.calls) {
        if (record.call == call) {
            matching.push_back(record);
        }
    }
    return matching;
}

size_t LiveInstances() {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return Engine().live;
}

size_t PeakLiveInstances() {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return Engine().peakLive;
}

size_t CallsWithNullHandle() {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return Engine().nullHandleCalls;
}

size_t CallsOnDestroyedInstances() {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return Engine().destroyedInstanceCalls;
}

void SetLatencyFrames(uint32_t frames) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    Engine().latencyFrames.fill(frames);
}

void SetLatencyFrames(const std::string& configuration, uint32_t frames) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    for (int32_t index = 0; index < kConfigurationCount; ++index) {
        if (configuration == kConfigurationNames[index]) {
            Engine().latencyFrames[index] = frames;
        }
    }
}

void FailCreate(bool fail) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    Engine().failCreate = fail;
}

void OnCall(Call call, std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    Engine().hooks[call] = std::move(hook);
}

std::string ConfigurationNameOf(int64_t index) {
    return index >= 0 && index < kConfigurationCount ? kConfigurationNames[index] : "";
}

} // namespace recordingengine

using recordingengine::Call;
using recordingengine::MakeRecord;
using recordingengine::Run;

namespace {

// Records a call on an instance; the engine's answer depends only on whether it is live.
KovraResult RecordOnHandle(const recordingengine::Record& record) {
    Run(recordingengine::Append(record, true));
    return recordingengine::LiveInstance(record.handle) ? KovraResult_kOk
                                                        : KovraResult_kInvalidHandle;
}

} // namespace

extern "C" {

KovraResult Kovra_initialize(const char* configPath) {
    auto record = MakeRecord(Call::Initialize, nullptr);
    std::strncpy(record.name, configPath ? configPath : "", sizeof record.name - 1);
    Run(recordingengine::Append(record, false));
    return KovraResult_kOk;
}

int32_t Kovra_getConfigIndexFromName(const char* configName) {
    auto record = MakeRecord(Call::GetConfigIndexFromName, nullptr);
    std::strncpy(record.name, configName ? configName : "", sizeof record.name - 1);
    record.arguments[0] = KOVRA_CONFIG_INDEX_UNKNOWN;
    for (int32_t index = 0; index < recordingengine::kConfigurationCount; ++index) {
        if (configName &&
            std::strcmp(configName, recordingengine::kConfigurationNames[index]) == 0) {
            record.arguments[0] = index;
        }
    }
    Run(recordingengine::Append(record, false));
    return static_cast<int32_t>(record.arguments[0]);
}

KovraResult Kovra_create(KovraHandle* handle, int32_t configIndex) {
    auto& engine = recordingengine::Engine();
    auto record = MakeRecord(Call::Create, nullptr);
    record.arguments[0] = configIndex;
    KovraResult result = KovraResult_kOk;
    if (!handle || configIndex < 0 || configIndex >= recordingengine::kConfigurationCount) {
        result = KovraResult_kErrorIndexOutOfRange;
    } else {
        std::lock_guard<std::mutex> guard(engine.mutex);
        if (engine.failCreate) {
            result = KovraResult_kErrorMemory;
        } else {
            auto* instance = new recordingengine::Instance{configIndex, false};
            engine.instances.insert(instance);
            engine.peakLive = std::max(engine.peakLive, ++engine.live);
            *handle = instance;
            record.handle = instance;
        }
    }
    Run(recordingengine::Append(record, false));
    return result;
}

KovraResult Kovra_prepareToPlay(KovraHandle handle, int32_t sampleRate, int32_t channelCount,
                                int32_t maxBlockFrames, int32_t inputSampleBytes,
                                int32_t outputSampleBytes, int32_t outputLayout) {
    auto record = MakeRecord(Call::PrepareToPlay, handle);
    const int64_t arguments[] = {sampleRate,       channelCount,      maxBlockFrames,
                                 inputSampleBytes, outputSampleBytes, outputLayout};
    std::memcpy(record.arguments, arguments, sizeof arguments);
    return RecordOnHandle(record);
}

KovraResult Kovra_reset(KovraHandle handle) {
    return RecordOnHandle(MakeRecord(Call::Reset, handle));
}

KovraResult Kovra_Ambrel_loadFilter(KovraHandle handle, int32_t preset) {
    auto record = MakeRecord(Call::LoadFilter, handle);
    record.arguments[0] = preset;
    return RecordOnHandle(record);
}

KovraResult Kovra_processBlock(KovraHandle handle, const float* input, float* output,
                               uint32_t frameCount) {
    auto record = MakeRecord(Call::ProcessBlock, handle);
    record.arguments[0] = frameCount;
    record.input = input;
    record.output = output;
    return RecordOnHandle(record);
}

KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latency) {
    const KovraResult result = RecordOnHandle(MakeRecord(Call::GetLatency, handle));
    auto& engine = recordingengine::Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    auto* instance = static_cast<recordingengine::Instance*>(handle);
    if (result != KovraResult_kOk || !latency || instance->destroyed) {
        return KovraResult_kInvalidHandle;
    }
    *latency = engine.latencyFrames[instance->configIndex];
    return KovraResult_kOk;
}

KovraResult Kovra_destroy(KovraHandle handle) {
    const KovraResult result = RecordOnHandle(MakeRecord(Call::Destroy, handle));
    if (result != KovraResult_kOk) {
        return result;
    }
    auto& engine = recordingengine::Engine();
    std::lock_guard<std::mutex> guard(engine.mutex);
    static_cast<recordingengine::Instance*>(handle)->destroyed = true;
    --engine.live;
    return KovraResult_kOk;
}

} // extern "C"
