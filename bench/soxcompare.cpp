#include "soxcompare.h"

#include "wavreader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

std::map<CaseKey, SoxTiming> ReadSoxTimings(const std::wstring& path) {
    std::map<CaseKey, SoxTiming> timings;
    std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"r"), &std::fclose);
    char line[256];
    while (file && std::fgets(line, sizeof line, file.get())) {
        unsigned channels = 0, rate = 0, preset = 0;
        SoxTiming timing;
        if (std::sscanf(line, "%u %u %u %lf %lf", &channels, &rate, &preset,
                        &timing.framesPerSecond, &timing.effectsFramesPerSecond) == 5) {
            timings[{channels, rate, preset}] = timing;
        }
    }
    return timings;
}

bool SoxDifferenceDb(const std::wstring& soxOutputPath, const std::vector<float>& ours,
                     uint32_t latencyFrames, double& differenceDb, std::string& error) {
    WavReader reader;
    if (!OpenWavFile(reader, soxOutputPath, error)) {
        return false;
    }
    if (reader.Format().channels != 2) {
        error = "sox's output is not stereo";
        return false;
    }
    const size_t lag = 2 * static_cast<size_t>(latencyFrames);
    const size_t frames =
        std::min<size_t>(reader.FramesLeft(), ours.size() > lag ? (ours.size() - lag) / 2 : 0);
    std::vector<float> sox(2 * frames);
    if (frames == 0 || reader.ReadFrames(sox.data(), frames, error) != frames) {
        error = error.empty() ? "sox's output is empty or short" : error;
        return false;
    }
    double signal = 0.0;
    double difference = 0.0;
    for (size_t index = 0; index < sox.size(); ++index) {
        const double our = ours[index + lag];
        signal += our * our;
        const double apart = our - sox[index];
        difference += apart * apart;
    }
    if (signal == 0.0) {
        error = "our output is silent";
        return false;
    }
    // Identical outputs read as -200 dB rather than minus infinity.
    differenceDb = 10.0 * std::log10(std::max(difference, 1e-20 * signal) / signal);
    return true;
}
