// The end-to-end tests' own instrument, run under Wine beside apohost.exe:
//   generate OUT.wav CHANNELS RATE BITS VALIDBITS SECONDS   a tone per channel (PCM, or float
//                                                            for BITS 32f), extensible layout
//   reference IN.wav OUT.wav CONFIG NAME PRESET PERIOD [START]
//                          what the engine library computes for IN, called directly, period by
//                          period from frame START, as the effect calls it
//   compare ACTUAL.wav FROM EXPECTED.wav FROM FRAMES TOLERANCE   samples equal within TOLERANCE
//   silent-periods FILE.wav PERIOD                    indices of the all-zero periods
//   info FILE.wav                                     "channels rate bits float|pcm frames"
//   peak FILE.wav                                     the largest magnitude of its samples
#include "kovraengine.h"
#include "wavreader.h"
#include "wavwriter.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PutLe(std::vector<uint8_t>& bytes, uint64_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * index)));
    }
}

uint32_t UsualMask(uint32_t channels) {
    return channels == 2   ? 0x3
           : channels == 4 ? 0x33
           : channels == 6 ? 0x3F
           : channels == 8 ? 0x63F
                           : 0;
}

// Channel c carries a tone of its own with a slow tremolo, so that no two channels and no two
// periods look alike.
double Sample(uint32_t channel, uint64_t frame, uint32_t rate) {
    const double time = static_cast<double>(frame) / rate;
    const double pi = 3.14159265358979;
    return 0.3 * std::sin(2 * pi * (110.0 + 97.0 * channel) * time) *
           (0.8 + 0.2 * std::sin(2 * pi * 1.3 * time));
}

int Generate(const std::wstring& path, uint32_t channels, uint32_t rate,
             const std::wstring& bitsText, uint32_t validBits, double seconds) {
    const bool isFloat = bitsText == L"32f";
    const uint32_t bits = static_cast<uint32_t>(std::wcstoul(bitsText.c_str(), nullptr, 10));
    const uint32_t bytesPerSample = bits / 8;
    const uint64_t frames = static_cast<uint64_t>(std::llround(seconds * rate));
    std::vector<uint8_t> data;
    data.reserve(frames * channels * bytesPerSample);
    for (uint64_t frame = 0; frame < frames; ++frame) {
        for (uint32_t channel = 0; channel < channels; ++channel) {
            const double value = Sample(channel, frame, rate);
            if (isFloat) {
                const float sample = static_cast<float>(value);
                uint32_t word;
                std::memcpy(&word, &sample, 4);
                PutLe(data, word, 4);
            } else {
                const double scale = std::ldexp(1.0, static_cast<int>(validBits) - 1);
                const int64_t quantized = std::llround(value * scale) << (bits - validBits);
                PutLe(data, static_cast<uint64_t>(quantized), static_cast<int>(bytesPerSample));
            }
        }
    }
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    PutLe(file, 4 + 48 + 8 + data.size(), 4);
    for (char c : std::string("WAVEfmt ")) {
        file.push_back(static_cast<uint8_t>(c));
    }
    PutLe(file, 40, 4);
    PutLe(file, 0xFFFE, 2);
    PutLe(file, channels, 2);
    PutLe(file, rate, 4);
    PutLe(file, rate * channels * bytesPerSample, 4);
    PutLe(file, channels * bytesPerSample, 2);
    PutLe(file, bits, 2);
    PutLe(file, 22, 2);
    PutLe(file, validBits, 2);
    PutLe(file, UsualMask(channels), 4);
    const uint8_t subFormat[16] = {isFloat ? uint8_t{3} : uint8_t{1},
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0x10,
                                   0,
                                   0x80,
                                   0,
                                   0,
                                   0xAA,
                                   0,
                                   0x38,
                                   0x9B,
                                   0x71};
    file.insert(file.end(), subFormat, subFormat + 16);
    for (char c : std::string("data")) {
        file.push_back(static_cast<uint8_t>(c));
    }
    PutLe(file, data.size(), 4);
    file.insert(file.end(), data.begin(), data.end());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "cannot write the generated file\n");
        return 1;
    }
    std::fclose(out);
    return 0;
}

bool Open(WavReader& reader, const std::wstring& path) {
    std::string error;
    if (!OpenWavFile(reader, path, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

bool Skip(WavReader& reader, uint64_t frames) {
    std::vector<float> scratch(4096 * reader.Format().channels);
    std::string error;
    while (frames > 0) {
        const size_t got = reader.ReadFrames(scratch.data(), frames < 4096 ? frames : 4096, error);
        if (got == 0) {
            return false;
        }
        frames -= got;
    }
    return true;
}

bool IsSilent(const std::vector<float>& samples, size_t count) {
    for (size_t index = 0; index < count; ++index) {
        if (samples[index] != 0.0f) {
            return false;
        }
    }
    return true;
}

int Reference(const std::wstring& inPath, const std::wstring& outPath, const std::wstring& config,
              const std::wstring& name, int preset, uint32_t period, uint64_t start) {
    WavReader reader;
    if (!Open(reader, inPath) || !Skip(reader, start)) {
        return 1;
    }
    const WavFormat format = reader.Format();
    const std::string narrowConfig = Utf8FromWide(config);
    Kovra_initialize(narrowConfig.c_str());
    KovraHandle engine = nullptr;
    const int32_t index = Kovra_getConfigIndexFromName(Utf8FromWide(name).c_str());
    if (Kovra_create(&engine, index) != KovraResult_kOk ||
        Kovra_prepareToPlay(engine, static_cast<int32_t>(format.sampleRate), format.channels,
                            static_cast<int32_t>(period), KovraSampleBytes_kFloat32,
                            KovraSampleBytes_kFloat32,
                            KovraOutputLayout_kDefault) != KovraResult_kOk ||
        Kovra_Ambrel_loadFilter(engine, preset) != KovraResult_kOk) {
        std::fprintf(stderr, "the engine library refused the configuration\n");
        return 1;
    }
    WavWriter writer;
    std::string error;
    if (!writer.Create(outPath, 2, format.sampleRate, OutputEncoding::Float32, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<float> input(period * format.channels);
    std::vector<float> output(period * 2);
    while (const size_t frames = reader.ReadFrames(input.data(), period, error)) {
        // A silent period never reaches the engine: the effect passes it on as silence.
        if (IsSilent(input, frames * format.channels)) {
            std::fill(output.begin(), output.end(), 0.0f);
        } else {
            Kovra_processBlock(engine, input.data(), output.data(), static_cast<uint32_t>(frames));
        }
        writer.Write(output.data(), frames, error);
    }
    Kovra_destroy(engine);
    return writer.Finish(error) && error.empty() ? 0 : 1;
}

int Compare(const std::wstring& actualPath, uint64_t actualFrom, const std::wstring& expectedPath,
            uint64_t expectedFrom, uint64_t frames, double tolerance) {
    WavReader actual;
    WavReader expected;
    if (!Open(actual, actualPath) || !Open(expected, expectedPath) || !Skip(actual, actualFrom) ||
        !Skip(expected, expectedFrom)) {
        return 1;
    }
    const uint32_t channels = actual.Format().channels;
    if (channels != expected.Format().channels || actual.FramesLeft() < frames ||
        expected.FramesLeft() < frames) {
        std::fprintf(stderr, "the files do not both hold %llu frames of %u channels\n",
                     static_cast<unsigned long long>(frames), channels);
        return 1;
    }
    std::vector<float> a(channels), b(channels);
    std::string error;
    double worst = 0.0;
    uint64_t firstBad = UINT64_MAX;
    for (uint64_t frame = 0; frame < frames; ++frame) {
        actual.ReadFrames(a.data(), 1, error);
        expected.ReadFrames(b.data(), 1, error);
        for (uint32_t channel = 0; channel < channels; ++channel) {
            const double difference = std::fabs(static_cast<double>(a[channel]) - b[channel]);
            const bool bad = tolerance == 0.0 ? std::memcmp(&a[channel], &b[channel], 4) != 0
                                              : !(difference <= tolerance);
            if (bad && firstBad == UINT64_MAX) {
                firstBad = frame;
            }
            worst = std::isnan(difference) || difference > worst ? difference : worst;
        }
    }
    std::printf("largest difference %.9g over %llu frames\n", worst,
                static_cast<unsigned long long>(frames));
    if (firstBad != UINT64_MAX) {
        std::printf("first mismatch at frame %llu\n", static_cast<unsigned long long>(firstBad));
        return 1;
    }
    return 0;
}

int SilentPeriods(const std::wstring& path, uint32_t period) {
    WavReader reader;
    if (!Open(reader, path)) {
        return 1;
    }
    std::vector<float> samples(period * reader.Format().channels);
    std::string error;
    std::string indices;
    for (uint64_t index = 0;; ++index) {
        const size_t frames = reader.ReadFrames(samples.data(), period, error);
        if (frames == 0) {
            break;
        }
        if (IsSilent(samples, frames * reader.Format().channels)) {
            indices += (indices.empty() ? "" : " ") + std::to_string(index);
        }
    }
    std::printf("%s\n", indices.c_str());
    return 0;
}

int Info(const std::wstring& path) {
    WavReader reader;
    if (!Open(reader, path)) {
        return 1;
    }
    const WavFormat& format = reader.Format();
    std::printf("%u %u %u %s %llu\n", unsigned{format.channels}, format.sampleRate,
                unsigned{format.containerBits},
                format.encoding == SampleEncoding::Float ? "float" : "pcm",
                static_cast<unsigned long long>(format.frameCount));
    return 0;
}

int Peak(const std::wstring& path) {
    WavReader reader;
    if (!Open(reader, path)) {
        return 1;
    }
    std::vector<float> samples(4096 * reader.Format().channels);
    std::string error;
    double peak = 0.0;
    while (const size_t frames = reader.ReadFrames(samples.data(), 4096, error)) {
        for (size_t index = 0; index < frames * reader.Format().channels; ++index) {
            peak = std::max(peak, std::fabs(static_cast<double>(samples[index])));
        }
    }
    std::printf("%.6f\n", peak);
    return error.empty() ? 0 : 1;
}

uint64_t Number(const wchar_t* text) {
    return std::wcstoull(text, nullptr, 10);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"generate" && argc == 8) {
        return Generate(argv[2], static_cast<uint32_t>(Number(argv[3])),
                        static_cast<uint32_t>(Number(argv[4])), argv[5],
                        static_cast<uint32_t>(Number(argv[6])), std::wcstod(argv[7], nullptr));
    }
    if (command == L"reference" && (argc == 8 || argc == 9)) {
        return Reference(argv[2], argv[3], argv[4], argv[5], static_cast<int>(Number(argv[6])),
                         static_cast<uint32_t>(Number(argv[7])), argc == 9 ? Number(argv[8]) : 0);
    }
    if (command == L"compare" && argc == 8) {
        return Compare(argv[2], Number(argv[3]), argv[4], Number(argv[5]), Number(argv[6]),
                       std::wcstod(argv[7], nullptr));
    }
    if (command == L"silent-periods" && argc == 4) {
        return SilentPeriods(argv[2], static_cast<uint32_t>(Number(argv[3])));
    }
    if (command == L"info" && argc == 3) {
        return Info(argv[2]);
    }
    if (command == L"peak" && argc == 3) {
        return Peak(argv[2]);
    }
    std::fprintf(stderr, "e2etool: unknown command or wrong argument count\n");
    return 2;
}
