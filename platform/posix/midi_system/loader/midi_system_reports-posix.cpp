#include <atomic>
#include <cstdio>

#include "platform/midi_system_reports.h"
#include "platform/posix/midi_system/loader/module_loader.h"

namespace {

std::atomic<MidiSystemReporter> installed{nullptr};

}  // namespace

void setMidiSystemReporter(MidiSystemReporter reporter) {
    installed.store(reporter, std::memory_order_release);
}

void reportMidiSystemLine(const char* line) {
    if (MidiSystemReporter reporter = installed.load(std::memory_order_acquire)) {
        reporter(line);
    } else {
        std::fprintf(stderr, "%s\n", line);
    }
}
