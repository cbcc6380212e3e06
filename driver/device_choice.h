// Devices chosen by name: -midiout and -midiin (and the settings file's midiout and midiin)
// take a device's name, or a part of one, wherever they take a device number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options/option_table.h"

// The device numbers a name chooses among names: the devices whose whole name it is, ignoring
// letter case; when there is none, every device whose name holds it, ignoring letter case.
// A value without a visible character chooses nothing.
std::vector<int32_t> devicesNamed(const std::vector<std::string>& names, const std::string& value);

// The devices' names, asked for at the first name given and kept for the run, so that every
// name is matched against the same numbering.
struct DeviceChoice {
    bool resolveNames = true;  // false: names are taken as given (a listing chooses nothing)
    bool inputsKnown = false;
    bool outputsKnown = false;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

// Lets table's midiout and midiin take names: a value that names exactly one device is
// stored as its number; one that names none is refused like any value that is not a number,
// one that names several with a line listing them. choice must outlive table's parses.
void chooseDevicesByName(OptionTable& table, DeviceChoice& choice);

// The command line read alone with the tool's option rules, device names taken as given: what
// it asks for before the settings file is read. Its errors are found again by the real parse.
OptionTable commandLineAlone(int argc, const char* const* argv);
