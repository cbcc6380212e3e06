#include "driver/program_options.h"

#include "options/option_table.h"

void declareProgramOptions(OptionTable& table) {
    for (const char* name : {"midiout", "midiin", "timeout"}) {
        OptionSpec spec;
        spec.assignName(name);
        spec.type = OptionType::Number;
        spec.required = false;
        spec.needsValue = false;
        spec.takesValue = true;
        table.addOption(spec);
    }
    table.positionalName = "hexsysex";
    table.minPositional = 0;
    table.maxPositional = kMaxMessageBytes;
}
