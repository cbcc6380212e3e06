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
bool printOptionLines() {
    for (int32_t i = 0; i < kProgramOptionCount; ++i) {
        if (std::printf("  %-18s  %s\n", kProgramOptions[i].synopsis,
                        kProgramOptions[i].description) < 0) {
            return false;
        }
    }
    return std::fflush(stdout) == 0;
}

InfoPrint printed(bool written) {
    return written ? InfoPrint::Printed : InfoPrint::WriteFailed;
}

}  // namespace

bool asksForInfo(const OptionTable& table) {
    return table.getBool("help") || table.getBool("version");
}

InfoPrint printRequestedInfo(const OptionTable& table) {
    if (table.getBool("help")) {
        return printed(printUsage() && printOptionLines());
    }
    if (table.getBool("version")) {
        return printed(std::fputs("midiparley " MIDIPARLEY_VERSION "\n", stdout) != EOF &&
                       std::fflush(stdout) == 0);
    }
    return InfoPrint::None;
}
