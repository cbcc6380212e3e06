#include "driver/device_list.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/midi_device_names.h"

namespace {

bool printDevices(const char* heading, const std::vector<std::string>& names) {
    std::string text = heading;
    for (size_t i = 0; i < names.size(); ++i) {
        text += std::to_string(i) + ": " + names[i] + "\n";
    }
    return std::fputs(text.c_str(), stdout) != EOF;
}

}  // namespace

bool printDeviceList() {
    return printDevices("MIDI input devices:\n", midiInDeviceNames()) &&
           printDevices("MIDI output devices:\n", midiOutDeviceNames()) && std::fflush(stdout) == 0;
}
