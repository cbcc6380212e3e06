// Builds without the MIDI system module: the real ports are none, and nothing looks for them.
#include "platform/posix/midi_system/loader/module_loader.h"

bool midiSystemSeen() {
    return false;
}

const MidiSystemPorts* loadMidiSystemModule(const MidiSystemProgram&) {
    return nullptr;
}
