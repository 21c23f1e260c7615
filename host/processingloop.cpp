#include "processingloop.h"

#include "interruption.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kPeriodsAhead = 100;

double SecondsSince(const LARGE_INTEGER& start, const LARGE_INTEGER& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

bool IsDigitalSilence(const float* samples, size_t count) {
    return std::all_of(samples, samples + count, [](float sample) { return sample == 0.0f; });
}

bool IsAllZeroBits(const float* samples, size_t count) {
    const auto* words = reinterpret_cast<const uint32_t*>(samples);
    return std::all_of(words, words + count, [](uint32_t word) { return word == 0; });
}

std::string Describe(const char* format, unsigned long long a, unsigned long long b,
                     unsigned long long c) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// The effect's answer must cover the whole period, flagged valid or silent.
bool CheckOutput(const APO_CONNECTION_PROPERTY& output, uint32_t frames, uint64_t period,
                 std::string& error) {
    if (output.u32BufferFlags != BUFFER_VALID && output.u32BufferFlags != BUFFER_SILENT) {
        error = Describe("the effect flagged the output of period %llu as %llu (neither valid nor "
                         "silent)",
                         period, output.u32BufferFlags, 0);
        return false;
    }
    if (output.u32ValidFrameCount != frames) {
        error = Describe("the effect returned %llu frames for period %llu of %llu frames",
                         output.u32ValidFrameCount, period, frames);
        return false;
    }
    return true;
}

} // namespace

void StreamBuffers::Allocate(uint32_t frames, uint32_t channelsIn, uint32_t channelsOut) {
    periodFrames = frames;
    inputChannels = channelsIn;
    outputChannels = channelsOut;
    input.assign(static_cast<size_t>(frames) * channelsIn, 0.0f);
    output.assign(static_cast<size_t>(frames) * channelsOut, 0.0f);
}

bool RunProcessingLoop(IAudioProcessingObjectRT* effect, StreamBuffers& buffers, WavReader& reader,
                       WavWriter& writer, std::vector<PropertyChange> changes,
                       PropertyChanger& changer, ProgressBar& progress, LoopResult& result,
                       std::string& error) {
    const uint32_t sampleRate = reader.Format().sampleRate;
    std::stable_sort(changes.begin(), changes.end(),
                     [sampleRate](const PropertyChange& left, const PropertyChange& right) {
                         return left.at.ToFrames(sampleRate) < right.at.ToFrames(sampleRate);
                     });
    // The file is read and decoded on the reader's own thread, as the audio engine's stream
    // comes from elsewhere: the loop's time goes to the effect and the output.
    reader.StartReadAhead(static_cast<size_t>(buffers.periodFrames) * kPeriodsAhead);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    APO_CONNECTION_PROPERTY input{};
    APO_CONNECTION_PROPERTY output{};
    input.pBuffer = reinterpret_cast<UINT_PTR>(buffers.input.data());
    input.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
    output.pBuffer = reinterpret_cast<UINT_PTR>(buffers.output.data());
    output.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
    APO_CONNECTION_PROPERTY* inputs[] = {&input};
    APO_CONNECTION_PROPERTY* outputs[] = {&output};

    size_t nextChange = 0;
    bool watchForReload = false;
    for (uint64_t period = 0;; ++period) {
        if (Interrupted()) {
            error = "interrupted";
            result.failure = LoopFailure::Interrupted;
            return false;
        }
        const uint64_t startFrame = result.framesIn;
        const size_t frames = reader.ReadFrames(buffers.input.data(), buffers.periodFrames, error);
        if (frames == 0) {
            result.failure = error.empty() ? LoopFailure::None : LoopFailure::Read;
            return error.empty();
        }
        while (nextChange < changes.size() &&
               changes[nextChange].at.ToFrames(sampleRate) <= startFrame) {
            const HRESULT applied = changer.Apply(changes[nextChange]);
            result.changes.push_back({changes[nextChange], startFrame, period, applied});
            watchForReload = true;
            ++nextChange;
        }
        const size_t inputSamples = frames * buffers.inputChannels;
        std::fill(buffers.input.begin() + static_cast<ptrdiff_t>(inputSamples), buffers.input.end(),
                  0.0f);
        const bool silent = IsDigitalSilence(buffers.input.data(), inputSamples);
        input.u32ValidFrameCount = static_cast<UINT32>(frames);
        input.u32BufferFlags = silent ? BUFFER_SILENT : BUFFER_VALID;
        output.u32ValidFrameCount = 0;
        output.u32BufferFlags = BUFFER_INVALID;

        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        effect->APOProcess(1, inputs, 1, outputs);
        result.processTimes.Add(SecondsSince(start, frequency));

        if (!CheckOutput(output, static_cast<uint32_t>(frames), period, error)) {
            result.failure = LoopFailure::Effect;
            return false;
        }
        const size_t outputSamples = frames * buffers.outputChannels;
        if (output.u32BufferFlags == BUFFER_SILENT) {
            std::fill_n(buffers.output.begin(), outputSamples, 0.0f);
        } else if (watchForReload && !silent) {
            if (IsAllZeroBits(buffers.output.data(), outputSamples)) {
                result.reloadBlocks.push_back({period, startFrame});
            }
        }
        watchForReload = watchForReload && silent;
        result.silentPeriods += silent ? 1 : 0;
        ++result.periods;
        result.framesIn += frames;
        if (!writer.Write(buffers.output.data(), frames, error)) {
            result.failure = LoopFailure::Write;
            return false;
        }
        result.framesOut += frames;
        progress.Update(result.framesIn);
    }
}
