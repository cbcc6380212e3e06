#include "driver/program_info.h"

#include <algorithm>
#include <string>

#include "driver/program_options.h"
#include "driver/report.h"

#ifndef MIDIPARLEY_VERSION
#error "MIDIPARLEY_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

constexpr size_t kSynopsisColumn = 18;

}  // namespace

bool printHelp() {
    std::string text = kUsageText;
    // Descriptions start in one column, whatever options are added later; a longer synopsis
    // pushes only its own description along.
    for (int32_t i = 0; i < kProgramOptionCount; ++i) {
        std::string synopsis = kProgramOptions[i].synopsis;
        synopsis.resize(std::max<size_t>(synopsis.size(), kSynopsisColumn), ' ');
        text += "  " + synopsis + "  " + kProgramOptions[i].description + "\n";
    }
    return writeResult(text);
}

bool printVersion() {
    return writeResult("midiparley " MIDIPARLEY_VERSION "\n");
}
