#include "driver/program_options.h"

#include "driver/byte_tokens.h"

const ProgramOption kProgramOptions[] = {
    {"midiout", OptionType::Number, true, "-midiout=#",
     "output device, by number or name, that receives the message (default 0)", false, true},
    {"midiin", OptionType::Number, true, "-midiin=#",
     "input device, by number or name, that is recorded (default 0)", false, true},
    {"timeout", OptionType::Number, true, "-timeout=seconds",
     "how long to wait for an answer ending in F7 (default 5)"},
    {"list", OptionType::Boolean, false, "-list",
     "list the MIDI devices by number and name, then end", true},
    {"idle", OptionType::Decimal, true, "-idle=milliseconds",
     "after an answer, go on until the input is quiet this long (default 0: first answer)"},
    {"save", OptionType::Text, true, "-save=FILE",
     "write the received sysex to FILE (.syx; .mid with arrival times; hex text if .txt)"},
    {"send", OptionType::Text, true, "-send=FILE",
     "send the sysex messages of FILE (.syx, .mid or hex text) instead of a message"},
    {"gap", OptionType::Decimal, true, "-gap=milliseconds",
     "pause between the messages of a -send .syx file (default 0)"},
    {"pace", OptionType::Text, true, "-pace=BYTES/MS",
     "send each message in parts of BYTES, MS milliseconds apart"},
    {"checksum", OptionType::Text, true, "-checksum=roland[:K]",
     "CS in the message is Roland's checksum; received Roland data messages are checked"},
    {"identify", OptionType::Boolean, false, "-identify",
     "ask who is there (identity request) and name every answer"},
    {"help", OptionType::Boolean, false, "-help", "print the usage text and every option, then end",
     true},
    {"version", OptionType::Boolean, false, "-version", "print the version, then end", true},
    {"quiet", OptionType::Boolean, false, "-quiet",
     "print only the answer, errors and warnings: no usage text, no progress"},
};
const int32_t kProgramOptionCount =
    static_cast<int32_t>(sizeof kProgramOptions / sizeof kProgramOptions[0]);

void declareProgramOptions(OptionTable& table) {
    for (int32_t i = 0; i < kProgramOptionCount; ++i) {
        const ProgramOption& option = kProgramOptions[i];
        OptionSpec spec;
        spec.assignName(option.name);
        spec.type = option.type;
        spec.required = false;
        spec.needsValue = false;
        spec.takesValue = option.takesValue;
        spec.commandLineOnly = option.question;
        spec.skipsSettings = option.question;
        spec.takesName = option.device;
        table.addOption(spec);
    }
    table.positionalName = "hexsysex";
    table.minPositional = 0;
    table.maxPositional = kMaxMessageBytes;
}
