// libFuzzer target for the configuration parser: any text must give either settings that stay
// within the documented limits, or a refusal that names its line. Accepted settings then run
// through an engine instance, whose output must stay finite and within [-1, 1] whatever the
// filters are: the limiter runs wherever the chain can change the level, and the input noise
// itself stays within full scale.
#include "configparser.h"
#include "engineinstance.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckRefusal(const kovra::ParseOutcome& outcome) {
    Require(outcome.line > 0);
    const std::string prefix = "line " + std::to_string(outcome.line) + ": ";
    Require(outcome.message.compare(0, prefix.size(), prefix) == 0);
    Require(outcome.message.size() > prefix.size());
}

void CheckLimits(const kovra::EngineSettings& settings) {
    for (const kovra::PresetSettings& preset : settings.presets) {
        Require(preset.sectionCount >= 0 && preset.sectionCount <= kovra::kMaxSectionsPerPreset);
        Require(preset.preGainDb >= -48.0 && preset.preGainDb <= 24.0);
        Require(preset.limiter.ceilingDb >= -24.0 && preset.limiter.ceilingDb <= 0.0);
        Require(preset.limiter.holdMs >= 0.0 && preset.limiter.holdMs <= 200.0);
        for (int index = 0; index < preset.sectionCount; ++index) {
            const kovra::FilterSection& section = preset.sections[index];
            Require(section.frequencyHz >= 10.0 && section.frequencyHz <= 40000.0);
            Require(section.q >= 0.1 && section.q <= 20.0);
            Require(std::fabs(section.gainDb) <= 24.0);
        }
    }
}

void RunThroughEngine(const kovra::EngineSettings& settings, unsigned choice) {
    const int index = static_cast<int>(choice % kovra::kConfigurationCount);
    const kovra::ConfigurationSettings& configuration = settings.configurations[index];
    kovra::EngineInstance instance(configuration, settings.presets);
    kovra::StreamShape shape;
    shape.sampleRate = (choice & 8) ? 96000 : 48000;
    shape.channelCount = configuration.channelCount;
    shape.maxBlockFrames = 64;
    shape.inputSampleBytes = shape.outputSampleBytes = 4;
    shape.outputLayout = -1;
    Require(instance.prepare(shape) == KovraResult_kOk);
    constexpr uint32_t kFrames = 300; // five pieces, and more than the limiter's look-ahead
    float input[kFrames * kovra::kMaxInputChannels];
    uint32_t noise = 12345u + choice;
    for (float& sample : input) {
        noise = noise * 1664525u + 1013904223u;
        sample = static_cast<float>(static_cast<int32_t>(noise)) / 2147483648.0f;
    }
    float output[2 * kFrames];
    for (int32_t preset = 0; preset < kovra::kPresetCount; ++preset) {
        Require(instance.loadPreset(preset) == KovraResult_kOk);
        Require(instance.process(input, output, kFrames) == KovraResult_kOk);
        for (float sample : output) {
            Require(std::isfinite(sample));
            Require(std::fabs(sample) <= 1.0f);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kovra::ParseOutcome outcome =
        kovra::ParseConfiguration(reinterpret_cast<const char*>(data), size);
    if (!outcome.ok) {
        CheckRefusal(outcome);
        return 0;
    }
    Require(outcome.message.empty());
    CheckLimits(outcome.settings);
    RunThroughEngine(outcome.settings, static_cast<unsigned>(size));
    return 0;
}
