// -list: the MIDI devices by number and name, asked for on the command line only.
#pragma once

// Writes the input devices, then the output devices, to standard output: a heading for each
// direction and one "number: name" line per device, control characters in a name escaped.
// False when standard output refused the list.
bool printDeviceList();
