#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <system_error>

#include "driver/exchange.h"
#include "driver/progress.h"
#include "platform/midi_system_reports.h"
#include "platform/standard_descriptors.h"

namespace {

int reportFailure(const std::string& text) {
    writeLineToStderr("error: " + text + "\n");
    return 1;
}

// The MIDI system's lines (that it did not answer, went away...) go out like the program's
// own, from whichever thread has one.
void reportMidiSystem(const char* line) noexcept {
    try {
        writeLineToStderr(std::string(line) + "\n");
    } catch (...) {
        std::fprintf(stderr, "%s\n", line);
    }
}

}  // namespace

// A machine out of memory or threads ends the run with one line and status 1, not with an
// uncaught exception and a core dump.
int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard output must not become that file.
    occupyClosedStandardDescriptors();
    setMidiSystemReporter(reportMidiSystem);
    try {
        return runExchange(argc, argv);
    } catch (const std::bad_alloc&) {
        return reportFailure("out of memory");
    } catch (const std::system_error& failure) {
        return reportFailure(std::string("out of system resources: ") + failure.what());
    } catch (const std::exception& failure) {
        return reportFailure(failure.what());
    }
}
