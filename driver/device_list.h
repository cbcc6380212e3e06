// -list: the MIDI devices by number and name, asked for on the command line only.
#pragma once

#include "driver/device_choice.h"

struct OptionTable;

// Readies table for the device options: -list is left out of the settings file, and -midiout
// and -midiin take names, except in a run whose command line (read alone, commandLineAlone)
// only lists the devices: it chooses none.
void prepareDeviceOptions(OptionTable& table, DeviceChoice& choice, const OptionTable& commandLine);

// Writes the input devices, then the output devices, to standard output: a heading for each
// direction and one "number: name" line per device. False (errno telling why) when the list
// did not all arrive.
bool printDeviceList();
