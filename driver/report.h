// The one owner of standard output and standard error: every line of the program goes out
// here. What the user asked for (the answer, a listing, the help text, the version) goes to
// standard output always; notes about the run (the usage text, the notice, "sent ...",
// "awaiting ...", the Esc prompt) only without -quiet; errors, warnings and reports to
// standard error always. The one progress line of long work is never wider than the terminal,
// and every other line clears it first. A write that standard output refuses fails the run
// with one error line.
#pragma once

#include <string>

// The usage text, shown after an error in what the user typed and before every exchange.
extern const char kUsageText[];

// -quiet, set once from the options before the run writes anything but an error.
void setQuiet(bool quiet);
bool quiet();

enum class Stream { Output, Error };

// Writes text (whole lines) to standard output and flushes it; false when it did not all
// arrive (outputFailed then says why).
bool writeResult(const std::string& text);

// A note about the run, left out with -quiet. False when standard output refused it.
bool writeNote(Stream stream, const std::string& text);

// The usage text on standard output, unless -quiet; false when standard output refused it.
bool writeUsage();

// A line of its own (with its line end) on standard error, which -quiet never holds back:
// errors, warnings and reports. From any thread.
void writeLineToStderr(const std::string& line);

// "error: " + text on standard error. Returns the run's status, 1.
int reportError(const std::string& text);

// An error in what the user asked for: the error line, then the usage text unless -quiet.
// Returns the run's status, 1.
int reportUsageError(const std::string& text);

// After a write to standard output failed: "error: cannot write to standard output: " and the
// reason. Returns the run's status, 1.
int outputFailed();

// Shows text as the progress line in place of the one shown, cut to the terminal's width;
// only when standard error is a terminal and the run is not quiet.
void showProgressLine(const std::string& text);

// Removes a shown progress line.
void clearProgressLine();

// The MIDI system's lines (that it did not answer, went away...), without line end, from
// whichever thread notices: the layer's reporter (platform/midi_system_reports.h).
void writeMidiSystemLine(const char* line) noexcept;
