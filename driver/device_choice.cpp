#include "driver/device_choice.h"

#include <algorithm>

#include "driver/program_options.h"
#include "options/char_class.h"
#include "options/command_line_parse.h"
#include "options/option_table.h"
#include "platform/midi_device_names.h"

namespace {

// Letter case is ignored for ASCII letters only: names come in the system's own encoding.
std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), asciiUpper);
    return text;
}

const std::vector<std::string>& namesOf(DeviceChoice& choice, bool input) {
    bool& known = input ? choice.inputsKnown : choice.outputsKnown;
    std::vector<std::string>& names = input ? choice.inputs : choice.outputs;
    if (!known) {
        names = input ? midiInDeviceNames() : midiOutDeviceNames();
        known = true;
    }
    return names;
}

// Turns a name given to option into the number of the one device it chooses.
bool resolveDeviceName(DeviceChoice& choice, bool input, const std::string& option,
                       std::string& value, std::string& errorText) {
    if (!choice.resolveNames) {
        return true;
    }
    const std::vector<std::string>& names = namesOf(choice, input);
    const std::vector<int32_t> chosen = devicesNamed(names, value);
    if (chosen.size() == 1) {
        value = std::to_string(chosen[0]);
        return true;
    }
    if (chosen.size() > 1) {
        errorText = "-" + option + "=" + value + " matches several MIDI " +
                    (input ? "input" : "output") + " devices:";
        for (size_t i = 0; i < chosen.size(); ++i) {
            errorText += (i == 0 ? " " : ", ") + std::to_string(chosen[i]) + " \"" +
                         names[static_cast<size_t>(chosen[i])] + "\"";
        }
    }
    return false;
}

}  // namespace

std::vector<int32_t> devicesNamed(const std::vector<std::string>& names, const std::string& value) {
    std::vector<int32_t> exact;
    std::vector<int32_t> partial;
    if (std::all_of(value.begin(), value.end(), isAsciiSpace)) {
        return exact;
    }
    const std::string wanted = upperCase(value);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = upperCase(names[i]);
        if (name == wanted) {
            exact.push_back(static_cast<int32_t>(i));
        } else if (name.find(wanted) != std::string::npos) {
            partial.push_back(static_cast<int32_t>(i));
        }
    }
    return exact.empty() ? partial : exact;
}

void chooseDevicesByName(OptionTable& table, DeviceChoice& choice) {
    for (OptionSpec& spec : table.specs) {
        const bool input = spec.name == "midiin";
        if (!input && spec.name != "midiout") {
            continue;
        }
        const std::string option = spec.name;
        spec.resolveValue = [&choice, input, option](std::string& value, std::string& errorText) {
            return resolveDeviceName(choice, input, option, value, errorText);
        };
    }
}

OptionTable commandLineAlone(int argc, const char* const* argv) {
    OptionTable commandLine;
    declareProgramOptions(commandLine);
    DeviceChoice keepNames;
    keepNames.resolveNames = false;
    chooseDevicesByName(commandLine, keepNames);
    std::string ignored;
    parseArguments(commandLine, argc, argv, ignored);
    return commandLine;
}
