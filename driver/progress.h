// The progress of long work (a file sent, a dump collected): messages and bytes so far with
// the rate, shown as one line on a terminal once the work has lasted about a second
// (driver/report.h shows and clears it).
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows_api.h"

struct ProgressLine {
    const char* what = "";  // "sending", "receiving"
    int32_t total = 0;      // messages expected, 0 when unknown
    DWORD start = 0;        // timeGetTime when the work began
    DWORD lastShown = 0;
};

// Begins timing the work; nothing is shown yet.
void startProgress(ProgressLine& progress, const char* what, int32_t total);

// Shows messages and bytes so far with the rate, at most every few hundred milliseconds, once
// the work has lasted about a second.
void showProgress(ProgressLine& progress, int32_t messages, uint64_t bytes);

// The text of the progress line; elapsedMs is above 0.
std::string progressText(const ProgressLine& progress, int32_t messages, uint64_t bytes,
                         DWORD elapsedMs);
