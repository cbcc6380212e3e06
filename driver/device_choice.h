// Devices chosen by name: -midiout and -midiin (and the settings file's midiout and midiin)
// take a device's name, or a part of one, wherever they take a device number. The names are
// looked up after the options are read, for a run that exchanges only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_request.h"

// The device numbers a name chooses among names: the devices whose whole name it is, ignoring
// letter case; when there is none, every device whose name holds it, ignoring letter case.
// A value without a visible character chooses nothing.
std::vector<int32_t> devicesNamed(const std::vector<std::string>& names, const std::string& value,
                                  bool utf8);

struct ChosenDevices {
    int32_t out = 0;
    int32_t in = 0;
};

// Looks up request's device names in the order given; the first that names no device is
// refused like any value that is not a number, one that names several with a line listing
// them (errorText, without "error: "). With chosen, also sets the devices the run uses.
bool chooseDevices(const RunRequest& request, ChosenDevices* chosen, std::string& errorText);
