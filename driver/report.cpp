#include "driver/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/terminal_width.h"
#include "platform/windows_api.h"

const char kUsageText[] =
    "usage: midiparley [-midiout=#] [-midiin=#] [-timeout=seconds] F0 ... F7\n"
    "e.g. midiparley -midiout=0 -midiin=0 F0 7E 7F 06 01 F7\n"
    "default MIDI devices are 0\n"
    "default timeout is 5 seconds\n"
    "the hexadecimal sysex is optional and will be sent to midi out\n"
    "and then within timeout the program waits for a sysex answer\n";

namespace {

// A terminal whose size cannot be read is taken to have the classic width.
constexpr int kUsualColumns = 80;

bool quietRun = false;
int outputErrno = 0;  // why standard output last refused a write

// Report lines may come from other threads (the MIDI system's) while the progress line is
// shown or cleared: one lock keeps each line whole and the width true.
std::mutex errorStream;
size_t shownWidth = 0;  // characters of the progress line now on the terminal; 0: none

bool stderrIsTerminal() {
    static const bool terminal = _isatty(_fileno(stderr)) != 0;
    return terminal;
}

// Characters a line may have without reaching the terminal's last column, where it would wrap
// (at once on some terminals, at the next character on others).
size_t roomOnTerminal() {
    const int columns = terminalColumns();
    return static_cast<size_t>(columns > 1 ? columns - 1 : columns == 1 ? 1 : kUsualColumns - 1);
}

void clearLocked() {
    if (shownWidth == 0) {
        return;
    }
    // The terminal may have narrowed since: blanks beyond its width would wrap to a new line.
    const size_t blanks = std::min(shownWidth, roomOnTerminal());
    std::fputs(("\r" + std::string(blanks, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
    shownWidth = 0;
}

void writeErrorStream(const std::string& text) {
    std::lock_guard<std::mutex> lock(errorStream);
    clearLocked();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

void setQuiet(bool quiet) {
    quietRun = quiet;
}

bool quiet() {
    return quietRun;
}

bool writeResult(const std::string& text) {
    clearProgressLine();
    if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        outputErrno = errno;
        return false;
    }
    return true;
}

bool writeNote(Stream stream, const std::string& text) {
    if (quietRun) {
        return true;
    }
    if (stream == Stream::Output) {
        return writeResult(text);
    }
    writeErrorStream(text);
    return true;
}

bool writeUsage() {
    return writeNote(Stream::Output, kUsageText);
}

void writeLineToStderr(const std::string& line) {
    writeErrorStream(line);
}

int reportError(const std::string& text) {
    writeErrorStream("error: " + text + "\n");
    return 1;
}

int reportUsageError(const std::string& text) {
    reportError(text);
    return writeUsage() ? 1 : outputFailed();
}

int outputFailed() {
    return reportError(std::string("cannot write to standard output: ") +
                       std::strerror(outputErrno));
}

void showProgressLine(const std::string& text) {
    if (quietRun || !stderrIsTerminal()) {
        return;
    }
    std::lock_guard<std::mutex> lock(errorStream);
    // Read at every update, so the line follows a resized terminal.
    std::string line = text.substr(0, roomOnTerminal());
    const size_t width = line.size();
    // Blanks over what is left of a longer earlier line; no terminal control sequences.
    if (width < shownWidth) {
        line.append(std::min(shownWidth, roomOnTerminal()) - width, ' ');
    }
    std::fputs(("\r" + line).c_str(), stderr);
    std::fflush(stderr);
    shownWidth = width;
}

void clearProgressLine() {
    std::lock_guard<std::mutex> lock(errorStream);
    clearLocked();
}

void writeMidiSystemLine(const char* line) noexcept {
    try {
        writeLineToStderr(std::string(line) + "\n");
    } catch (...) {
        std::fprintf(stderr, "%s\n", line);
    }
}
