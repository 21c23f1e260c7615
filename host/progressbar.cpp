#include "progressbar.h"

namespace {

constexpr int kBarWidth = 40;
constexpr double kLongFileSeconds = 30.0;

} // namespace

ProgressBar::ProgressBar(FILE* stream, uint64_t totalFrames, uint32_t sampleRate, bool enabled)
    : stream(stream), totalFrames(totalFrames), sampleRate(sampleRate), enabled(enabled) {}

void ProgressBar::Update(uint64_t framesDone) {
    if (!enabled || totalFrames == 0) {
        return;
    }
    const uint64_t done = framesDone < totalFrames ? framesDone : totalFrames;
    const int percent = static_cast<int>(done * 100 / totalFrames);
    if (percent == shownPercent) {
        return;
    }
    shownPercent = percent;
    char bar[kBarWidth + 1];
    const int filled = percent * kBarWidth / 100;
    for (int index = 0; index < kBarWidth; ++index) {
        bar[index] = index < filled ? '#' : '.';
    }
    bar[kBarWidth] = '\0';
    const double rate = sampleRate > 0 ? sampleRate : 1.0;
    std::fprintf(stream, "\r[%s] %3d%%  %.1f / %.1f s", bar, percent,
                 static_cast<double>(done) / rate, static_cast<double>(totalFrames) / rate);
    std::fflush(stream);
}

void ProgressBar::Finish() {
    if (enabled && shownPercent >= 0) {
        std::fputc('\n', stream);
        std::fflush(stream);
    }
}

bool ShouldShowProgress(ProgressChoice choice, bool stderrIsTerminal, double durationSeconds) {
    switch (choice) {
    case ProgressChoice::Always:
        return true;
    case ProgressChoice::Never:
        return false;
    default:
        return stderrIsTerminal && durationSeconds >= kLongFileSeconds;
    }
}
