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

// Records a call under the held mutex. Returns the hook to run, if any.
const std::function<void()>* AppendLocked(State& engine, const Record& record) {
    engine.calls.push_back(record);
    const auto hook = engine.hooks.find(record.call);
    return hook != engine.hooks.end() && hook->second ? &hook->second : nullptr;
}

const std::function<void()>* Append(const Record& record) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return AppendLocked(Engine(), record);
}

void Run(const std::function<void()>* hook) {
    if (hook) {
        (*hook)();
    }
}

// A destroyed instance this stand-in made, else null (a null handle or one it never made).
Instance* DestroyedInstance(State& engine, KovraHandle handle) {
    auto* instance = static_cast<Instance*>(handle);
    return instance && engine.instances.count(instance) != 0 && instance->destroyed ? instance
                                                                                    : nullptr;
}

// A call on an instance, from entry to return. It is flagged when the handle is null, when the
// instance was destroyed before the call, or when another thread destroys it before the call
// has done its work. `work` runs under the mutex, on a live instance only.
template <typename Work> KovraResult CallOnInstance(const Record& record, Work work) {
    State& engine = Engine();
    const std::function<void()>* hook = nullptr;
    bool flagged = false;
    {
        std::lock_guard<std::mutex> guard(engine.mutex);
        hook = AppendLocked(engine, record);
        if (!record.handle) {
            ++engine.nullHandleCalls;
            flagged = true;
        } else if (DestroyedInstance(engine, record.handle)) {
            ++engine.destroyedInstanceCalls;
            flagged = true;
        }
    }
    Run(hook);
    std::lock_guard<std::mutex> guard(engine.mutex);
    if (DestroyedInstance(engine, record.handle)) {
        engine.destroyedInstanceCalls += flagged ? 0 : 1;
        return KovraResult_kInvalidHandle;
    }
    auto* instance = static_cast<Instance*>(record.handle);
    if (!instance || engine.instances.count(instance) == 0) {
        return KovraResult_kInvalidHandle;
    }
    work(engine, *instance);
    return KovraResult_kOk;
}

void NoWork(State&, Instance&) {}

Record MakeRecord(Call call, KovraHandle handle) {
    Record record{};
    record.call = call;
    record.handle = handle;
    return record;
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

namespace {
size_t Counted(size_t State::*count) {
    std::lock_guard<std::mutex> guard(Engine().mutex);
    return Engine().*count;
}
} // namespace

size_t LiveInstances() {
    return Counted(&State::live);
}

size_t PeakLiveInstances() {
    return Counted(&State::peakLive);
}

size_t CallsWithNullHandle() {
    return Counted(&State::nullHandleCalls);
}

size_t CallsOnDestroyedInstances() {
    return Counted(&State::destroyedInstanceCalls);
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

using recordingengine::Append;
using recordingengine::Call;
using recordingengine::CallOnInstance;
using recordingengine::MakeRecord;
using recordingengine::NoWork;
using recordingengine::Run;

extern "C" {

KovraResult Kovra_initialize(const char* configPath) {
    auto record = MakeRecord(Call::Initialize, nullptr);
    std::strncpy(record.name, configPath ? configPath : "", sizeof record.name - 1);
    Run(Append(record));
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
    Run(Append(record));
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
    Run(Append(record));
    return result;
}

KovraResult Kovra_prepareToPlay(KovraHandle handle, int32_t sampleRate, int32_t channelCount,
                                int32_t maxBlockFrames, int32_t inputSampleBytes,
                                int32_t outputSampleBytes, int32_t outputLayout) {
    auto record = MakeRecord(Call::PrepareToPlay, handle);
    const int64_t arguments[] = {sampleRate,       channelCount,      maxBlockFrames,
                                 inputSampleBytes, outputSampleBytes, outputLayout};
    std::memcpy(record.arguments, arguments, sizeof arguments);
    return CallOnInstance(record, NoWork);
}

KovraResult Kovra_reset(KovraHandle handle) {
    return CallOnInstance(MakeRecord(Call::Reset, handle), NoWork);
}

KovraResult Kovra_Ambrel_loadFilter(KovraHandle handle, int32_t preset) {
    auto record = MakeRecord(Call::LoadFilter, handle);
    record.arguments[0] = preset;
    return CallOnInstance(record, NoWork);
}

KovraResult Kovra_processBlock(KovraHandle handle, const float* input, float* output,
                               uint32_t frameCount) {
    auto record = MakeRecord(Call::ProcessBlock, handle);
    record.arguments[0] = frameCount;
    record.input = input;
    record.output = output;
    return CallOnInstance(record, NoWork);
}

KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latency) {
    return CallOnInstance(
        MakeRecord(Call::GetLatency, handle),
        [latency](recordingengine::State& engine, recordingengine::Instance& instance) {
            if (latency) {
                *latency = engine.latencyFrames[instance.configIndex];
            }
        });
}

KovraResult Kovra_destroy(KovraHandle handle) {
    return CallOnInstance(MakeRecord(Call::Destroy, handle),
                          [](recordingengine::State& engine, recordingengine::Instance& instance) {
                              instance.destroyed = true;
                              --engine.live;
                          });
}

} // extern "C"
