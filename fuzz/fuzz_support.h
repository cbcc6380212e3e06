// Helpers shared by the fuzz targets: a failed invariant aborts (libFuzzer then keeps the
// input), inputs are cut into pieces, and settings files are written where the profile
// reader is sure to notice the new contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "driver/program_options.h"  // the tool's own option declarations
#include "options/option_table.h"

// Aborts with the condition's text when an invariant does not hold.
#define FUZZ_CHECK(condition)                                \
    do {                                                     \
        if (!(condition)) {                                  \
            fuzzCheckFailed(#condition, __FILE__, __LINE__); \
        }                                                    \
    } while (0)

[[noreturn]] void fuzzCheckFailed(const char* condition, const char* file, int line);

// The tool's option of that name, or nullptr when it has none.
const ProgramOption* programOption(const std::string& name);

// Whether the tool has an option of that name and type.
bool isOptionOfType(const std::string& name, OptionType type);

// Whether the tool has an option of that name whose value is a number (Number or Decimal).
bool isNumericOption(const std::string& name);

// Every value the table holds belongs to one of the tool's options, and a numeric option's
// value reads back as a number, or, for a device, was kept as a name.
void checkStoredValues(const OptionTable& table);

// The bytes split at every separator; n separators give n + 1 pieces.
std::vector<std::string> splitBytes(const uint8_t* data, size_t size, char separator);

// Writes contents to the one settings file of this process and returns its path. Every call
// gives the file a modification time of its own, so a reader that caches by size, inode and
// time always sees the new contents. The file is removed at exit.
const std::string& writeScratchSettings(const std::string& contents);
