// The real MIDI ports, as seen by the program: nothing until a cheap look finds an ALSA
// sequencer or a JACK server, then whatever the MIDI system module reports. The module is
// loaded at the first such find and kept for the rest of the process.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/executable_path.h"
#include "platform/posix/winmm/midi_ports.h"
#include "platform/posix/midi_system/midi_system_module.h"

namespace {

void bytesArrived(void* device, const BYTE* bytes, size_t count) {
    midiInputArrived(*static_cast<MidiInDevice*>(device), bytes, count);
}

std::string programDirectory() {
    const std::string path = executablePath();
    return path.substr(0, path.rfind('/') + 1);
}

// Only where the program itself lies: beside it (the build), then in the install layout's
// library directory. Never a path fixed at build time, which others may be able to write to.
const MidiSystemPorts* loadModule() {
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
        if (entry != nullptr) {
            return entry(bytesArrived);
        }
        tried += "\n  " + path + ": no entry point";
    }
    // Without it the device numbers would silently shift onto the built-in instrument.
    std::fprintf(stderr, "midiparley: a MIDI system is running but its module did not load:%s\n",
                 tried.c_str());
    return nullptr;
}

// An open input: the module's port and the device it delivers to, kept alive until the
// module has closed the port.
struct LoadedInput {
    void* port = nullptr;
    std::shared_ptr<MidiInDevice> device;
};

class LoadedMidiSystem : public MidiPortBackend {
  public:
    unsigned inputCount() override {
        const MidiSystemPorts* ports = system();
        return ports != nullptr ? ports->inputCount() : 0;
    }

    unsigned outputCount() override {
        const MidiSystemPorts* ports = system();
        return ports != nullptr ? ports->outputCount() : 0;
    }

    std::string inputName(unsigned index) override {
        char name[512] = "";  // JACK port names reach 320 bytes
        if (const MidiSystemPorts* ports = system()) {
            ports->inputName(index, name, sizeof name);
        }
        return name;
    }

    std::string outputName(unsigned index) override {
        char name[512] = "";  // JACK port names reach 320 bytes
        if (const MidiSystemPorts* ports = system()) {
            ports->outputName(index, name, sizeof name);
        }
        return name;
    }

    MMRESULT openInput(unsigned index, const std::shared_ptr<MidiInDevice>& device,
                       void** port) override {
        const MidiSystemPorts* ports = system();
        if (ports == nullptr) {
            return MMSYSERR_BADDEVICEID;
        }
        auto input = std::make_unique<LoadedInput>();
        input->device = device;
        const MMRESULT result = ports->openInput(index, device.get(), &input->port);
        if (result == MMSYSERR_NOERROR) {
            *port = input.release();
        }
        return result;
    }

    void closeInput(void* port) override {
        std::unique_ptr<LoadedInput> input(static_cast<LoadedInput*>(port));
        module_.load()->closeInput(input->port);
    }

    MMRESULT openOutput(unsigned index, void** port) override {
        const MidiSystemPorts* ports = system();
        return ports != nullptr ? ports->openOutput(index, port) : MMSYSERR_BADDEVICEID;
    }

    void closeOutput(void* port) override { module_.load()->closeOutput(port); }

    MMRESULT sendShort(void* port, const BYTE* bytes, size_t count) override {
        return module_.load()->sendShort(port, bytes, count);
    }

    MMRESULT prepareLong(void*) override { return MMSYSERR_NOERROR; }

    MMRESULT sendLong(void* port, MIDIHDR* header, bool* held) override {
        *held = false;
        return module_.load()->sendLong(port, header);
    }

    bool stillPlaying(void*, const MIDIHDR*) override { return false; }

  private:
    // The module once a MIDI system has been seen; null before (and if it cannot load).
    const MidiSystemPorts* system() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!tried_ && (alsaSequencerDeviceExists() || jackServerSocketExists())) {
            tried_ = true;
            module_.store(loadModule());
        }
        return module_.load();
    }

    std::mutex mutex_;
    bool tried_ = false;
    // Set once; ports opened through it use it from any thread.
    std::atomic<const MidiSystemPorts*> module_{nullptr};
};

}  // namespace

MidiPortBackend& realMidiPorts() {
    static LoadedMidiSystem* ports = new LoadedMidiSystem;
    return *ports;
}
