// Loads the MIDI system module once a cheap look has found a MIDI system.
#include "platform/posix/midi_system/loader/module_loader.h"

#include <dlfcn.h>

#include <string>

#include "platform/executable_path.h"

namespace {

std::string programDirectory() {
    const std::string path = executablePath();
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

bool midiSystemSeen() {
    return alsaSequencerDeviceExists() || jackServerSocketExists();
}

// Only where the program itself lies: beside it (the build), then in the install layout's
// library directory. Never a path fixed at build time, which others may be able to write to.
const MidiSystemPorts* loadMidiSystemModule(const MidiSystemProgram& program) {
    std::string tried;
    const std::string directory = programDirectory();
    for (const std::string& place : {directory, directory + "../lib/midiparley/"}) {
        if (directory.empty()) {
            break;  // without the program's path (and "/"-relative guesses), nothing is loaded
        }
        const std::string path = place + MIDI_SYSTEM_MODULE_NAME;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            tried += std::string("\n  ") + dlerror();
            continue;
        }
        auto entry = reinterpret_cast<MidiSystemPortsEntry>(dlsym(module, MIDI_SYSTEM_PORTS_ENTRY));
        if (entry == nullptr) {
            tried += "\n  " + path + ": no entry point";
        } else if (const MidiSystemPorts* ports = entry(&program)) {
            return ports;
        } else {
            tried += "\n  " + path + ": cannot start (out of memory)";
        }
    }
    // Without it the device numbers would silently shift onto the built-in instrument.
    reportMidiSystemLine(
        ("midiparley: a MIDI system is running but its module did not load:" + tried).c_str());
    return nullptr;
}
