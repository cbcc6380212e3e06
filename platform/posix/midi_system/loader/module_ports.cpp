// The real MIDI ports, as seen by the program: nothing until a cheap look finds an ALSA
// sequencer or a JACK server, then whatever the MIDI system module reports. The module is
// loaded at the first such find and kept for the rest of the process.
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/posix/midi_system/loader/module_loader.h"
#include "platform/posix/winmm/midi_ports.h"

namespace {

// The module holds an open input's device by a copy of the program's shared pointer, which it
// gives back through deviceReleased: it may outlive the program's own hold when an open or
// close was given up on.
MidiInDevice& deviceOf(void* held) {
    return **static_cast<std::shared_ptr<MidiInDevice>*>(held);
}

// From the module's threads, where no exception of ours may go.
void bytesArrived(void* device, const BYTE* bytes, size_t count) {
    try {
        midiInputArrived(deviceOf(device), bytes, count);
    } catch (...) {
        // Without the memory to queue them the bytes are lost, and counted as such.
        midiInputLost(deviceOf(device), count);
    }
}

void bytesLost(void* device, size_t count) {
    midiInputLost(deviceOf(device), count);
}

void deviceReleased(void* device) {
    delete static_cast<std::shared_ptr<MidiInDevice>*>(device);
}

const MidiSystemProgram kProgram = {bytesArrived, bytesLost, deviceReleased, reportMidiSystemLine};

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
        auto* held = new (std::nothrow) std::shared_ptr<MidiInDevice>(device);
        return held != nullptr ? ports->openInput(index, held, port) : MMSYSERR_NOMEM;
    }

    void closeInput(void* port) override { module_.load()->closeInput(port); }

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
        if (!tried_ && midiSystemSeen()) {
            tried_ = true;
            module_.store(loadMidiSystemModule(kProgram));
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
