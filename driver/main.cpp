#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <system_error>

#include "driver/program.h"
#include "driver/report.h"
#include "platform/midi_system_reports.h"
#include "platform/standard_descriptors.h"

namespace {

// More than the C++ runtime's reserve for exceptions, which it takes before main.
constexpr size_t kStartHeadroom = 256 * 1024;

}  // namespace

// A machine out of memory or threads ends the run with one line and status 1, not with an
// uncaught exception and a core dump.
int main(int argc, char** argv) {
    // With memory this short the C++ runtime has set aside no reserve to throw bad_alloc
    // from, so the first failed allocation would abort: the line goes out without allocating.
    void* headroom = std::malloc(kStartHeadroom);
    if (headroom == nullptr) {
        std::fputs("error: out of memory\n", stderr);
        return 1;
    }
    std::free(headroom);
    // Before anything opens a file: a closed standard output must not become that file.
    occupyClosedStandardDescriptors();
    // The MIDI system's lines go out like the program's own, from whichever thread has one.
    setMidiSystemReporter(writeMidiSystemLine);
    try {
        return runProgram(argc, argv);
    } catch (const std::bad_alloc&) {
        return reportError("out of memory");
    } catch (const std::system_error& failure) {
        return reportError(std::string("out of system resources: ") + failure.what());
    } catch (const std::exception& failure) {
        return reportError(failure.what());
    }
}
