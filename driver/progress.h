// Report lines on standard error and the one updating progress line of long work. The
// progress line is shown only when standard error is a terminal and the work has lasted about
// a second; it is cleared before the next report line. A script that asked for a quiet run
// sees neither the progress line nor the progress lines of writeProgress.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/windows_api.h"

struct ProgressLine {
    const char* what = "";  // "sending", "receiving"
    int32_t total = 0;      // messages expected, 0 when unknown
    DWORD start = 0;        // timeGetTime when the work began
    DWORD lastShown = 0;
};

// Whether progress is shown; -quiet turns it off for the rest of the run.
void setProgressShown(bool shown);
bool progressShown();

// Writes a progress line (with its line end: the usage text, "sent sysex ...", "awaiting ...",
// the Esc prompt) to stream and flushes it, unless progress is off; a shown progress line is
// cleared first. False when the write failed.
bool writeProgress(FILE* stream, const std::string& line);

// Writes a line of its own (with its line end) to standard error and flushes it, after
// clearing a shown progress line: errors, warnings and reports, which -quiet never holds back.
void writeLineToStderr(const std::string& line);

// Begins timing the work; nothing is shown yet.
void startProgress(ProgressLine& progress, const char* what, int32_t total);

// Shows messages and bytes so far with the rate, at most every few hundred milliseconds, once
// the work has lasted about a second and only on a terminal.
void showProgress(ProgressLine& progress, int32_t messages, uint64_t bytes);

// Removes a shown progress line.
void clearProgress();

// The text of the progress line, without the carriage return; elapsedMs is above 0.
std::string progressText(const ProgressLine& progress, int32_t messages, uint64_t bytes,
                         DWORD elapsedMs);
