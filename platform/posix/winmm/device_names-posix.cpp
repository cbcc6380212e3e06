// The devices' whole names, from one look at each port source, so that the numbers match the
// ones the MIDI functions use right after: the MIDI system's ports as it names them, then the
// virtual instrument.
#include "platform/device_names.h"

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

std::vector<std::string> inputDeviceNames() {
    return deviceNames(true);
}

std::vector<std::string> outputDeviceNames() {
    return deviceNames(false);
}

bool deviceNamesAreUtf8() {
    return true;
}
