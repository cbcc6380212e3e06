#include "driver/program_info.h"

#include <cstdio>

#include "driver/program_options.h"
#include "driver/usage.h"
#include "options/option_table.h"

#ifndef MIDIPARLEY_VERSION
#error "MIDIPARLEY_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

// Descriptions start in one column, whatever options are added later; a longer synopsis
// pushes only its own description along.
void printOptionLines() {
    for (int32_t i = 0; i < kProgramOptionCount; ++i) {
        std::printf("  %-18s  %s\n", kProgramOptions[i].synopsis, kProgramOptions[i].description);
    }
    std::fflush(stdout);
}

}  // namespace

bool asksForInfo(const OptionTable& table) {
    return table.getBool("help") || table.getBool("version");
}

bool printRequestedInfo(const OptionTable& table) {
    if (table.getBool("help")) {
        printUsage();
        printOptionLines();
        return true;
    }
    if (table.getBool("version")) {
        std::fputs("midiparley " MIDIPARLEY_VERSION "\n", stdout);
        std::fflush(stdout);
        return true;
    }
    return false;
}
