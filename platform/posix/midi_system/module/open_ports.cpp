#include "platform/posix/midi_system/module/open_ports.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/posix/midi_system/module/jack_input.h"
#include "platform/posix/midi_system/module/jack_output.h"

struct ModuleInput {
    MidiSystemSession* session = nullptr;
    std::shared_ptr<void> device;
    std::unique_ptr<RtMidiIn> alsa;
    JackInput* jack = nullptr;  // off RtMidi's locking, allocating path
    std::atomic<bool> failed{false};
    std::atomic<bool> closed{false};
};

struct ModuleOutput {
    std::unique_ptr<RtMidiOut> alsa;
    JackOutput* jack = nullptr;
    std::atomic<bool> failed{false};
    std::atomic<bool> partHeld{false};  // ALSA's encoder kept a SysEx part for later
};

namespace {

void forward(ModuleInput* input, const BYTE* bytes, size_t count) {
    if (!input->closed.load(std::memory_order_acquire)) {
        input->session->program.arrived(input->device.get(), bytes, count);
    }
}

void onAlsaInput(double, std::vector<unsigned char>* message, void* record) {
    if (message != nullptr && !message->empty()) {
        forward(static_cast<ModuleInput*>(record), message->data(), message->size());
    }
}

// A SysEx part that does not end its message (a sender pacing the message in parts) fills no
// event of ALSA's MIDI encoder unless it fills the encoder's buffer (32 bytes, or the longest
// message sent before): RtMidi then warns of an incomplete message, yet the encoder keeps the
// bytes and they go out with the next part. That warning is no failure for such a part.
void noteAlsaOutputError(RtMidiError::Type type, const std::string& text, void* record) {
    ModuleOutput* output = static_cast<ModuleOutput*>(record);
    if (text.find("incomplete message") != std::string::npos) {
        output->partHeld = true;
    } else {
        noteRtMidiError(type, text, &output->failed);
    }
}

void onJackInput(void* record, const BYTE* bytes, size_t count) {
    forward(static_cast<ModuleInput*>(record), bytes, count);
}

void onJackInputLost(void* record, size_t count) {
    ModuleInput* input = static_cast<ModuleInput*>(record);
    if (!input->closed.load(std::memory_order_acquire)) {
        input->session->program.lost(input->device.get(), count);
    }
}

template <typename Midi>
int findPortByName(Midi& midi, const std::string& name) {
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (midi.getPortName(i) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Opens RtMidi's port of that name for ALSA.
template <typename Midi, typename Record>
MMRESULT openAlsaPort(const std::string& name, const char* portName, Record& record,
                      std::unique_ptr<Midi>& midi) {
    try {
        midi = std::make_unique<Midi>(RtMidi::LINUX_ALSA, kClientName);
    } catch (const RtMidiError&) {
        return MMSYSERR_ERROR;
    }
    midi->setErrorCallback(noteRtMidiError, &record.failed);
    const int number = findPortByName(*midi, name);
    if (number < 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if constexpr (std::is_same<Midi, RtMidiIn>::value) {
        midi->ignoreTypes(false, false, false);
        midi->setCallback(onAlsaInput, &record);
    } else {
        midi->setErrorCallback(noteAlsaOutputError, &record);
    }
    midi->openPort(static_cast<unsigned>(number), portName);
    return record.failed || !midi->isPortOpen() ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

// Opens the listed port `index` as the record's JACK port (openJack gives it, null on failure)
// or RtMidi's ALSA port, and hands the record over when it opened.
template <typename Record, typename OpenJack>
MMRESULT openPort(MidiSystemSession& session, bool input, unsigned index,
                  std::unique_ptr<Record>& record, Record** opened, OpenJack openJack) {
    if (!findSystem(session) || index >= (input ? session.inputs : session.outputs).size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const std::string name = portName(session, input, index);
    const MMRESULT result = session.api == RtMidi::UNIX_JACK
                                ? (openJack(name) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_ERROR)
                                : openAlsaPort(name, input ? "in" : "out", *record, record->alsa);
    if (result == MMSYSERR_NOERROR) {
        *opened = record.release();
    }
    return result;
}

}  // namespace

MMRESULT openInput(MidiSystemSession& session, unsigned index, const std::shared_ptr<void>& device,
                   ModuleInput** opened) {
    auto input = std::make_unique<ModuleInput>();
    input->session = &session;
    input->device = device;
    return openPort(session, true, index, input, opened, [&input](const std::string& name) {
        return input->jack =
                   openJackInput(kClientName, name, onJackInput, onJackInputLost, input.get());
    });
}

void stopDelivery(ModuleInput* input) {
    input->closed.store(true, std::memory_order_release);
}

void closeInput(ModuleInput* input) {
    stopDelivery(input);
    if (input->jack != nullptr) {
        closeJackInput(input->jack);  // its forwarding thread has ended on return
    } else {
        input->alsa->closePort();
        input->alsa.reset();  // closes the client: its thread has stopped after this
    }
    delete input;
}

MMRESULT openOutput(MidiSystemSession& session, unsigned index, ModuleOutput** opened) {
    auto output = std::make_unique<ModuleOutput>();
    return openPort(session, false, index, output, opened, [&output](const std::string& name) {
        return output->jack = openJackOutput(kClientName, name);
    });
}

void closeOutput(ModuleOutput* output) {
    if (output->jack != nullptr) {
        closeJackOutput(output->jack);
    } else {
        output->alsa->closePort();
    }
    delete output;
}

JackOutput* jackOutput(ModuleOutput* output) {
    return output->jack;
}

MMRESULT sendToAlsa(ModuleOutput* output, const BYTE* bytes, size_t count) {
    output->failed = false;
    output->partHeld = false;
    output->alsa->sendMessage(bytes, count);
    const bool sysExPart =
        count > 0 && bytes[count - 1] != 0xF7 && (bytes[0] == 0xF0 || bytes[0] < 0x80);
    return output->failed || (output->partHeld && !sysExPart) ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}
