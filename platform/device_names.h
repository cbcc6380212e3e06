// The MIDI devices' names, whole, by device number. The capability records cut a name to 31
// characters, which on Windows is all a name has, but ALSA and JACK names run longer and
// often differ only at their end (client and port numbers, port suffixes).
#pragma once

#include <string>
#include <vector>

// The names of the MIDI input devices, by device number.
std::vector<std::string> inputDeviceNames();
// The names of the MIDI output devices, by device number.
std::vector<std::string> outputDeviceNames();

// Whether the names are UTF-8 (ALSA and JACK names; Windows names are in the ANSI code page,
// which may be UTF-8 too).
bool deviceNamesAreUtf8();
