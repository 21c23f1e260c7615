#include "recordingengine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace recordingengine {
namespace {

const char* const kConfigurationNames[] = {"2_ch",        "2_ch_bypass", "6_ch",
                                           "6_ch_bypass", "8_ch",        "8_ch_bypass"};
constexpr int32_t kConfigurationCount = 6;
constexpr size_t kCallKinds = static_cast<size_t>(Call::Destroy) + 1;

// The call log grows by chunks that never move, so a call appends with one atomic increment.
constexpr size_t kChunkRecords = 4096;
constexpr size_t kMaxChunks = 4096;
constexpr size_t kReservedChunks = 16;
// Instances come from a ring of slots, so creating one neither allocates nor locks. A slot is
// taken again only after this many more instances, far more than any test makes.
constexpr size_t kInstanceSlots = size_t{1} << 18;

struct Instance {
    size_t serial = 0; // 1 for the first instance ever made, 0 for a slot never used
    int32_t configIndex = 0;
    std::atomic<int64_t> preparedFrames{-1}; // -1 until prepared
    std::atomic<bool> destroyed{false};
};

struct State {
    std::array<std::atomic<Record*>, kMaxChunks> chunks{};
    std::atomic<size_t> callCount{0};
    std::unique_ptr<Instance[]> instances{new Instance[kInstanceSlots]};
    std::atomic<size_t> instancesMade{0};
    std::atomic<size_t> instancesMadeAtClear{0}; // those before are forgotten
    std::atomic<size_t> live{0};
    std::atomic<size_t> peakLive{0};
    std::atomic<size_t> nullHandleCalls{0};
    std::atomic<size_t> destroyedInstanceCalls{0};
    std::atomic<size_t> blocksBeyondPreparation{0};
    std::array<std::atomic<uint32_t>, kConfigurationCount> latencyFrames{};
    std::atomic<bool> failCreate{false};
    std::array<std::function<void()>, kCallKinds> hooks;
};

State& Engine() {
    static State state;
    return state;
}

[[noreturn]] void OutOfRoom(const char* what) {
    std::fprintf(stderr, "recording engine: no room for more %s\n", what);
    std::abort();
}

Record* Chunk(State& engine, size_t chunk) {
    if (chunk >= kMaxChunks) {
        OutOfRoom("calls");
    }
    Record* records = engine.chunks[chunk].load(std::memory_order_acquire);
    if (!records) {
        auto* made = new Record[kChunkRecords];
        if (engine.chunks[chunk].compare_exchange_strong(records, made)) {
            records = made;
        } else {
            delete[] made; // another thread installed this chunk first
        }
    }
    return records;
}

// Records a call and returns the hook to run, if any.
const std::function<void()>* Append(const Record& record) {
    State& engine = Engine();
    const size_t index = engine.callCount.fetch_add(1);
    Chunk(engine, index / kChunkRecords)[index % kChunkRecords] = record;
    const std::function<void()>& hook = engine.hooks[static_cast<size_t>(record.call)];
    return hook ? &hook : nullptr;
}

void Run(const std::function<void()>* hook) {
    if (hook) {
        (*hook)();
    }
}

// The instance behind a handle this stand-in made since Clear, else null (a null handle, one it
// never made or one from before Clear).
Instance* MadeInstance(State& engine, KovraHandle handle) {
    auto* instance = static_cast<Instance*>(handle);
    const Instance* first = engine.instances.get();
    const bool slot = instance >= first && instance < first + kInstanceSlots;
    return slot && instance->serial > engine.instancesMadeAtClear.load() ? instance : nullptr;
}

// A call on an instance, from entry to return. It is flagged when the handle is null, when the
// instance was destroyed before the call, or when another thread destroys it before the call
// returns. `work` runs on a live instance only.
template <typename Work> KovraResult CallOnInstance(const Record& record, Work work) {
    State& engine = Engine();
    Instance* instance = MadeInstance(engine, record.handle);
    bool flagged = false;
    if (!record.handle) {
        ++engine.nullHandleCalls;
        flagged = true;
    } else if (instance && instance->destroyed.load()) {
        ++engine.destroyedInstanceCalls;
        flagged = true;
    }
    Run(Append(record));
    if (!instance || instance->destroyed.load()) {
        return KovraResult_kInvalidHandle;
    }
    work(engine, *instance);
    if (record.call != Call::Destroy && instance->destroyed.load() && !flagged) {
        ++engine.destroyedInstanceCalls;
    }
    return KovraResult_kOk;
}

void NoWork(State&, Instance&) {}

Record MakeRecord(Call call, KovraHandle handle) {
    Record record{};
    record.call = call;
    record.handle = handle;
    return record;
}

size_t Counted(const std::atomic<size_t>& count) {
    return count.load();
}

} // namespace

void Clear() {
    State& engine = Engine();
    engine.callCount = 0;
    for (size_t chunk = 0; chunk < kReservedChunks; ++chunk) {
        Chunk(engine, chunk);
    }
    engine.instancesMadeAtClear = engine.instancesMade.load();
    engine.live = 0;
    engine.peakLive = 0;
    engine.nullHandleCalls = 0;
    engine.destroyedInstanceCalls = 0;
    engine.blocksBeyondPreparation = 0;
    for (auto& frames : engine.latencyFrames) {
        frames = 0;
    }
    engine.failCreate = false;
    for (auto& hook : engine.hooks) {
        hook = nullptr;
    }
}

size_t CallCount() {
    return Engine().callCount.load();
}

const Record& CallAt(size_t index) {
    return Chunk(Engine(), index / kChunkRecords)[index % kChunkRecords];
}

std::vector<Record> Calls() {
    std::vector<Record> calls;
    const size_t count = CallCount();
    calls.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        calls.push_back(CallAt(i));
    }
    return calls;
}

std::vector<Record> CallsOf(Call call) {
    std::vector<Record> matching;
    const size_t count = CallCount();
    for (size_t i = 0; i < count; ++i) {
        if (CallAt(i).call == call) {
            matching.push_back(CallAt(i));
        }
    }
    return matching;
}

size_t LiveInstances() {
    return Counted(Engine().live);
}

size_t PeakLiveInstances() {
    return Counted(Engine().peakLive);
}

size_t CallsWithNullHandle() {
    return Counted(Engine().nullHandleCalls);
}

size_t CallsOnDestroyedInstances() {
    return Counted(Engine().destroyedInstanceCalls);
}

size_t BlocksBeyondPreparation() {
    return Counted(Engine().blocksBeyondPreparation);
}

void SetLatencyFrames(uint32_t frames) {
    for (auto& latency : Engine().latencyFrames) {
        latency = frames;
    }
}

void SetLatencyFrames(const std::string& configuration, uint32_t frames) {
    for (int32_t index = 0; index < kConfigurationCount; ++index) {
        if (configuration == kConfigurationNames[index]) {
            Engine().latencyFrames[index] = frames;
        }
    }
}

void FailCreate(bool fail) {
    Engine().failCreate = fail;
}

void OnCall(Call call, std::function<void()> hook) {
    Engine().hooks[static_cast<size_t>(call)] = std::move(hook);
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
    } else if (engine.failCreate.load()) {
        result = KovraResult_kErrorMemory;
    } else {
        const size_t made = engine.instancesMade.fetch_add(1);
        recordingengine::Instance* instance =
            &engine.instances[made % recordingengine::kInstanceSlots];
        instance->serial = made + 1;
        instance->configIndex = configIndex;
        instance->preparedFrames = -1;
        instance->destroyed = false;
        const size_t live = ++engine.live;
        size_t peak = engine.peakLive.load();
        while (peak < live && !engine.peakLive.compare_exchange_weak(peak, live)) {
        }
        *handle = instance;
        record.handle = instance;
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
    return CallOnInstance(
        record, [maxBlockFrames](recordingengine::State&, recordingengine::Instance& instance) {
            instance.preparedFrames = maxBlockFrames;
        });
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
    return CallOnInstance(
        record, [frameCount](recordingengine::State& engine, recordingengine::Instance& instance) {
            if (static_cast<int64_t>(frameCount) > instance.preparedFrames.load()) {
                ++engine.blocksBeyondPreparation;
            }
        });
}

KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latency) {
    return CallOnInstance(
        MakeRecord(Call::GetLatency, handle),
        [latency](recordingengine::State& engine, recordingengine::Instance& instance) {
            if (latency) {
                *latency = engine.latencyFrames[instance.configIndex].load();
            }
        });
}

KovraResult Kovra_destroy(KovraHandle handle) {
    return CallOnInstance(MakeRecord(Call::Destroy, handle),
                          [](recordingengine::State& engine, recordingengine::Instance& instance) {
                              // Two threads destroying one instance: only one of them may.
                              if (instance.destroyed.exchange(true)) {
                                  ++engine.destroyedInstanceCalls;
                              } else {
                                  --engine.live;
                              }
                          });
}

} // extern "C"
