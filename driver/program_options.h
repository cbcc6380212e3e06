// The tool's options and positional arguments. The options are read from the command line
// and the settings file; up to kMaxMessageBytes hexadecimal byte tokens follow, also read from
// the settings file as hexsysex1 ... hexsysex1000.
#pragma once

#include <cstdint>

#include "options/option_table.h"

// One option of the tool: how it is registered, and its line in the option list.
struct ProgramOption {
    const char* name;  // the whole name; none is a prefix of another's
    OptionType type;
    bool takesValue;          // without "=", the next command-line token is the value
    const char* synopsis;     // as written on the command line, e.g. "-midiout=#"
    const char* description;  // one line, no line end
    // A question about the tool or its devices (-list, -help, -version): never read from the
    // settings file, so that a line there does not turn every run into a listing, and a run
    // that asks one reads no settings file, so that nothing there can fail it.
    bool question = false;
    // A device, by number or by name: a name is looked up after the options are read.
    bool device = false;
};

// Every option, in registration order; the first three are the ones the usage text names.
extern const ProgramOption kProgramOptions[];
extern const int32_t kProgramOptionCount;

// Registers the tool's options and positional arguments in table.
void declareProgramOptions(OptionTable& table);
