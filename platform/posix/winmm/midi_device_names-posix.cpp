// The devices' whole names, from one look at each port source, so that the numbers match the
// ones the MIDI functions use right after.
#include "platform/midi_device_names.h"

#include "platform/posix/winmm/midi_ports.h"

namespace {

std::vector<std::string> deviceNames(bool input) {
    std::vector<std::string> names;
    for (MidiPortBackend* source : {&realMidiPorts(), &virtualInstrumentPorts()}) {
        const unsigned count = input ? source->inputCount() : source->outputCount();
        for (unsigned i = 0; i < count; ++i) {
            names.push_back(input ? source->inputName(i) : source->outputName(i));
        }
    }
    return names;
}

}  // namespace

std::vector<std::string> midiInDeviceNames() {
    return deviceNames(true);
}

std::vector<std::string> midiOutDeviceNames() {
    return deviceNames(false);
}
