#include "driver/progress.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD kShowAfterMs = 1000;
constexpr DWORD kUpdateEveryMs = 250;

// Characters of the progress line now on the terminal; 0 when none is shown. Report lines may
// come from other threads (the MIDI system's), and clear it too.
std::atomic<size_t> shownWidth{0};
// Set once from the options, before anything is printed.
bool progressOn = true;

bool stderrIsTerminal() {
    static const bool terminal = _isatty(_fileno(stderr)) != 0;
    return terminal;
}

}  // namespace

void setProgressShown(bool shown) {
    progressOn = shown;
}

bool progressShown() {
    return progressOn;
}

bool writeProgress(FILE* stream, const std::string& line) {
    if (!progressOn) {
        return true;
    }
    clearProgress();
    return std::fputs(line.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

void writeLineToStderr(const std::string& line) {
    clearProgress();
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void startProgress(ProgressLine& progress, const char* what, int32_t total) {
    progress.what = what;
    progress.total = total;
    progress.start = timeGetTime();
    progress.lastShown = progress.start;
}

std::string progressText(const ProgressLine& progress, int32_t messages, uint64_t bytes,
                         DWORD elapsedMs) {
    std::string text = std::string(progress.what) + ": " + std::to_string(messages);
    if (progress.total > 0) {
        text += "/" + std::to_string(progress.total);
    }
    text += " messages, " + std::to_string(bytes) + " bytes, " +
            std::to_string(bytes * 1000 / elapsedMs) + " bytes/s";
    return text;
}

void showProgress(ProgressLine& progress, int32_t messages, uint64_t bytes) {
    const DWORD now = timeGetTime();
    const DWORD elapsed = now - progress.start;
    if (!progressOn || elapsed < kShowAfterMs || now - progress.lastShown < kUpdateEveryMs ||
        !stderrIsTerminal()) {
        return;
    }
    progress.lastShown = now;
    std::string text = progressText(progress, messages, bytes, elapsed);
    const size_t width = text.size();
    // Blanks over what is left of a longer earlier line; no terminal control sequences.
    const size_t shown = shownWidth.load();
    if (width < shown) {
        text.append(shown - width, ' ');
    }
    std::fputs(("\r" + text).c_str(), stderr);
    std::fflush(stderr);
    shownWidth = width;
}

void clearProgress() {
    const size_t shown = shownWidth.exchange(0);
    if (shown == 0) {
        return;
    }
    std::fputs(("\r" + std::string(shown, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
}
