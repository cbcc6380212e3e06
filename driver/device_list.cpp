#include "driver/device_list.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/program_options.h"
#include "options/option_table.h"
#include "platform/midi_device_names.h"

namespace {

const char kListOption[] = "list";

// Whether the command line alone sets -list, read with the tool's own option rules. Names are
// taken as given here: an error on the command line is found again by the real parse.
bool commandLineAsksForList(int argc, const char* const* argv) {
    const OptionTable commandLine = commandLineAlone(argc, argv);
    return commandLine.getBool(kListOption);
}

bool printDevices(const char* heading, const std::vector<std::string>& names) {
    std::string text = heading;
    for (size_t i = 0; i < names.size(); ++i) {
        text += std::to_string(i) + ": " + names[i] + "\n";
    }
    return std::fputs(text.c_str(), stdout) != EOF;
}

}  // namespace

void prepareDeviceOptions(OptionTable& table, DeviceChoice& choice, int argc,
                          const char* const* argv) {
    for (OptionSpec& spec : table.specs) {
        spec.commandLineOnly = spec.commandLineOnly || spec.name == kListOption;
    }
    choice.resolveNames = !commandLineAsksForList(argc, argv);
    chooseDevicesByName(table, choice);
}

bool printDeviceList() {
    return printDevices("MIDI input devices:\n", midiInDeviceNames()) &&
           printDevices("MIDI output devices:\n", midiOutDeviceNames()) && std::fflush(stdout) == 0;
}
