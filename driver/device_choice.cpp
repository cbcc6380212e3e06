#include "driver/device_choice.h"

#include <algorithm>

#include "driver/name_text.h"
#include "options/char_class.h"
#include "options/parser_messages.h"
#include "platform/device_names.h"

namespace {

// The devices' names, asked for at the first name and kept for the run, so that every name is
// matched against the same numbering.
struct KnownNames {
    bool inputsKnown = false;
    bool outputsKnown = false;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

const std::vector<std::string>& namesOf(KnownNames& known, bool input) {
    bool& asked = input ? known.inputsKnown : known.outputsKnown;
    std::vector<std::string>& names = input ? known.inputs : known.outputs;
    if (!asked) {
        names = input ? inputDeviceNames() : outputDeviceNames();
        asked = true;
    }
    return names;
}

// The number of the one device that value, given to option, names.
bool resolveName(KnownNames& known, const std::string& option, const std::string& value,
                 int32_t& number, std::string& errorText) {
    const bool input = option == "midiin";
    const bool utf8 = deviceNamesAreUtf8();
    const std::vector<std::string>& names = namesOf(known, input);
    const std::vector<int32_t> chosen = devicesNamed(names, value, utf8);
    if (chosen.size() == 1) {
        number = chosen[0];
        return true;
    }
    if (chosen.empty()) {
        errorText = parserErrorText(kOptionNeedsNumberValue, kOptionSeparator, option);
        return false;
    }
    errorText = "-" + option + "=" + terminalText(value, utf8) + " matches several MIDI " +
                (input ? "input" : "output") + " devices:";
    for (size_t i = 0; i < chosen.size(); ++i) {
        errorText += (i == 0 ? " " : ", ") + std::to_string(chosen[i]) + " \"" +
                     terminalText(names[static_cast<size_t>(chosen[i])], utf8) + "\"";
    }
    return false;
}

bool deviceNumber(KnownNames& known, const char* option, const DeviceRequest& device,
                  int32_t& number, std::string& errorText) {
    number = device.number;
    return device.name.empty() || resolveName(known, option, device.name, number, errorText);
}

}  // namespace

std::vector<int32_t> devicesNamed(const std::vector<std::string>& names, const std::string& value,
                                  bool utf8) {
    std::vector<int32_t> exact;
    std::vector<int32_t> partial;
    if (std::all_of(value.begin(), value.end(), isAsciiSpace)) {
        return exact;
    }
    const std::string wanted = foldedCase(value, utf8);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = foldedCase(names[i], utf8);
        if (name == wanted) {
            exact.push_back(static_cast<int32_t>(i));
        } else if (name.find(wanted) != std::string::npos) {
            partial.push_back(static_cast<int32_t>(i));
        }
    }
    return exact.empty() ? partial : exact;
}

bool chooseDevices(const RunRequest& request, ChosenDevices* chosen, std::string& errorText) {
    KnownNames known;
    int32_t ignored = 0;
    for (const NameValue& name : request.deviceNames) {
        if (!resolveName(known, name.option, name.value, ignored, errorText)) {
            return false;
        }
    }
    return chosen == nullptr ||
           (deviceNumber(known, "midiout", request.outDevice, chosen->out, errorText) &&
            deviceNumber(known, "midiin", request.inDevice, chosen->in, errorText));
}
