// The program's side of the MIDI system module: whether a MIDI system is there, loading the
// module, and passing its lines to the program's reporter. In builds without the module
// (MIDIPARLEY_MIDI_SYSTEM off) no system is ever seen and nothing is loaded.
#pragma once

#include "platform/posix/midi_system/midi_system_module.h"

// A cheap look for an ALSA sequencer or a JACK server.
bool midiSystemSeen();
// The module's ports, loaded from beside the program; null, said as a report line, when the
// module cannot be loaded.
const MidiSystemPorts* loadMidiSystemModule(const MidiSystemProgram& program);
// Hands a line to the program's reporter (standard error until one is installed).
void reportMidiSystemLine(const char* line);
