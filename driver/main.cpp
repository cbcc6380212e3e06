#include <atomic>
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

// Memory held back from the start and given up at the first allocation that fails, so that
// the failure can still be thrown and reported: with the address space nearly used up, the C++
// runtime may have found no room for its own reserve for exceptions, and without one a
// bad_alloc ends the process at once.
constexpr size_t kReserveBytes = 64 * 1024;
std::atomic<void*> reserve{nullptr};

void releaseReserve() {
    std::free(reserve.exchange(nullptr));
    std::set_new_handler(nullptr);  // the next failure throws
}

}  // namespace

// A machine out of memory or threads ends the run with one line and status 1, not with an
// uncaught exception and a core dump.
int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard output must not become that file.
    occupyClosedStandardDescriptors();
    reserve = std::malloc(kReserveBytes);
    if (reserve == nullptr) {
        std::fputs("error: out of memory\n", stderr);  // no room even for the usual report
        return 1;
    }
    std::set_new_handler(releaseReserve);
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
