// libFuzzer target for the WAV reader: any bytes must give either a refusal with a message, or a
// format within the documented limits whose frames all lie inside the file and decode to the
// announced count, PCM within full scale.
#include "wavreader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WavReader reader;
    std::string error;
    auto source = std::make_unique<MemoryByteSource>(std::vector<uint8_t>(data, data + size));
    if (!reader.Open(std::move(source), error)) {
        Require(!error.empty());
        return 0;
    }
    const WavFormat format = reader.Format();
    Require(format.channels >= 1 && format.channels <= kMaxWavChannels);
    Require(format.sampleRate > 0 && format.validBits <= format.containerBits);
    Require(CountSpeakers(format.channelMask) <= format.channels);
    Require(format.frameCount <= size / format.BlockAlign());
    std::vector<float> period(97 * format.channels);
    uint64_t frames = 0;
    while (const size_t got = reader.ReadFrames(period.data(), 97, error)) {
        for (size_t index = 0; index < got * format.channels; ++index) {
            Require(format.encoding == SampleEncoding::Float ||
                    (period[index] >= -1.0f && period[index] <= 1.0f));
        }
        frames += got;
    }
    Require(error.empty() && frames == format.frameCount);
    return 0;
}
