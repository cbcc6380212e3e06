#include "driver/progress.h"

#include "driver/report.h"

namespace {

constexpr DWORD kShowAfterMs = 1000;
constexpr DWORD kUpdateEveryMs = 250;

}  // namespace

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
    if (elapsed < kShowAfterMs || now - progress.lastShown < kUpdateEveryMs) {
        return;
    }
    progress.lastShown = now;
    showProgressLine(progressText(progress, messages, bytes, elapsed));
}
