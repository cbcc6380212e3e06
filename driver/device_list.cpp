#include "driver/device_list.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/program_options.h"
#include "options/option_table.h"
#include "platform/midi_device_names.h"

namespace {

const char kListOption[] = "list";

bool printDevices(const char* heading, const std::vector<std::string>& names) {
    std::string text = heading;
    for (size_t i = 0; i < names.size(); ++i) {
        text += std::to_string(i) + ": " + names[i] + "\n";
    }
    return std::fputs(text.c_str(), stdout) != EOF;
}

}  // namespace

void prepareDeviceOptions(OptionTable& table, DeviceChoice& choice,
                          const OptionTable& commandLine) {
    for (OptionSpec& spec : table.specs) {
        spec.commandLineOnly = spec.commandLineOnly || spec.name == kListOption;
    }
    choice.resolveNames = !commandLine.getBool(kListOption);
    chooseDevicesByName(table, choice);
}

bool printDeviceList() {
    return printDevices("MIDI input devices:\n", midiInDeviceNames()) &&
           printDevices("MIDI output devices:\n", midiOutDeviceNames()) && std::fflush(stdout) == 0;
}
