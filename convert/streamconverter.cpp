#include "streamconverter.h"

#include <soxr.h>

#include <algorithm>

namespace {

constexpr size_t kResampledBlockFrames = 8192;

} // namespace

void MixFrames(const ConversionPlan& plan, const float* input, size_t frames, float* output) {
    const size_t inputChannels = plan.from.channels;
    const size_t outputChannels = plan.mix.size();
    for (size_t frame = 0; frame < frames; ++frame) {
        const float* in = input + frame * inputChannels;
        float* out = output + frame * outputChannels;
        for (size_t target = 0; target < outputChannels; ++target) {
            double sum = 0.0;
            for (const auto& [source, gain] : plan.mix[target]) {
                sum += gain * in[source];
            }
            out[target] = static_cast<float>(sum);
        }
    }
}

StreamConverter::~StreamConverter() {
    soxr_delete(resampler);
}

bool StreamConverter::Start(const ConversionPlan& newPlan, uint64_t inputFrames, Sink newSink,
                            std::string& error) {
    plan = newPlan;
    sink = std::move(newSink);
    expectedOut = ConvertedFrames(inputFrames, plan.from.sampleRate, plan.to.sampleRate);
    framesOut = 0;
    mixFirst = plan.to.channels <= plan.from.channels;
    resampledChannels = mixFirst ? plan.to.channels : plan.from.channels;
    if (!plan.ChangesRate()) {
        return true;
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    quality.passband_end = 0.95;
    soxr_error_t failure = nullptr;
    resampler = soxr_create(plan.from.sampleRate, plan.to.sampleRate, resampledChannels, &failure,
                            &io, &quality, nullptr);
    if (resampler == nullptr || failure != nullptr) {
        error = std::string("libsoxr cannot make the resampler: ") + soxr_strerror(failure);
        return false;
    }
    return true;
}

bool StreamConverter::Push(const float* input, size_t frames, std::string& error) {
    if (frames == 0) {
        return true;
    }
    const float* stage = input;
    if (mixFirst && plan.ChangesChannels()) {
        mixed.resize(frames * plan.to.channels);
        MixFrames(plan, input, frames, mixed.data());
        stage = mixed.data();
    }
    if (resampler != nullptr) {
        return Resample(stage, frames, error);
    }
    return Deliver(stage, frames, error);
}

bool StreamConverter::Finish(std::string& error) {
    if (resampler != nullptr && !Resample(nullptr, 0, error)) {
        return false;
    }
    if (framesOut != expectedOut) {
        error = "the conversion made " + std::to_string(framesOut) +
                " frames where the input holds " + std::to_string(expectedOut) + " at the new rate";
        return false;
    }
    return true;
}

// Feeds the resampler until it has taken all of `frames`; `input` null flushes it to its end.
bool StreamConverter::Resample(const float* input, size_t frames, std::string& error) {
    resampled.resize(kResampledBlockFrames * resampledChannels);
    size_t taken = 0;
    for (;;) {
        size_t used = 0;
        size_t made = 0;
        const float* next = input == nullptr ? nullptr : input + taken * resampledChannels;
        const soxr_error_t failure = soxr_process(resampler, next, frames - taken, &used,
                                                  resampled.data(), kResampledBlockFrames, &made);
        if (failure != nullptr) {
            error = std::string("libsoxr failed: ") + failure;
            return false;
        }
        taken += used;
        if (made > 0 && !Deliver(resampled.data(), made, error)) {
            return false;
        }
        // Fed: all input taken and the output buffer not filled. Flushed: nothing more comes.
        if ((input != nullptr && taken == frames && made < kResampledBlockFrames) ||
            (input == nullptr && made == 0)) {
            return true;
        }
    }
}

bool StreamConverter::Deliver(const float* frames, size_t count, std::string& error) {
    // The resampler's output ends where the input's duration does: nothing past it is sent.
    const uint64_t room = expectedOut - framesOut;
    count = static_cast<size_t>(std::min<uint64_t>(count, room));
    if (count == 0) {
        return true;
    }
    const float* out = frames;
    if (!mixFirst && plan.ChangesChannels()) {
        mixed.resize(count * plan.to.channels);
        MixFrames(plan, frames, count, mixed.data());
        out = mixed.data();
    }
    if (!sink(out, count)) {
        error = "the converted stream could not be written";
        return false;
    }
    framesOut += count;
    return true;
}
