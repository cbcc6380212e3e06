// The tool's options and positional arguments. The options are read from the command line
// and the settings file; up to 1000 hexadecimal byte tokens follow,
// also read from the settings file as hexsysex1 ... hexsysex1000.
#pragma once

#include <cstdint>

#include "options/option_table.h"

// The most bytes a message can have: one per positional argument the parser accepts.
constexpr int32_t kMaxMessageBytes = 1000;

// One option of the tool: how it is registered, and its line in the option list.
struct ProgramOption {
    const char* name;  // the whole name; none is a prefix of another's
    OptionType type;
    bool takesValue;          // without "=", the next command-line token is the value
    const char* synopsis;     // as written on the command line, e.g. "-midiout=#"
    const char* description;  // one line, no line end
    // Never read from the settings file: a line there must not turn every run into a listing
    // or a help text.
    bool commandLineOnly = false;
};

// Every option, in registration order; the first three are the ones the usage text names.
extern const ProgramOption kProgramOptions[];
extern const int32_t kProgramOptionCount;

// Registers the tool's options and positional arguments in table.
void declareProgramOptions(OptionTable& table);
