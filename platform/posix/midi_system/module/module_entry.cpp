// The module's entry: the table of calls the program makes. Each runs bounded on the session's
// worker (JACK sends excepted: they only wait, bounded, for JACK's process thread), and none
// throws: the program carries a C++ runtime of its own, so no exception may cross, and a call
// without the memory or the thread it needs gives MMSYSERR_NOMEM.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/midi_system/module/jack_output.h"
#include "platform/posix/midi_system/module/open_ports.h"
#include "platform/posix/midi_system/module/session.h"

namespace {

MidiSystemSession* session = nullptr;

MMRESULT failure(CallEnd end) {
    return end == CallEnd::NoMemory ? MMSYSERR_NOMEM : MMSYSERR_ERROR;
}

unsigned countPorts(bool inputs) noexcept {
    unsigned count = 0;
    bounded(*session, count, [inputs] { return listPorts(*session, inputs); });
    return count;
}

void copyName(bool inputs, unsigned index, char* name, size_t size) noexcept {
    if (name == nullptr || size == 0) {
        return;
    }
    name[0] = '\0';
    try {
        std::string text;
        bounded(*session, text, [inputs, index] { return portName(*session, inputs, index); });
        const size_t length = std::min(text.size(), size - 1);
        text.copy(name, length);
        name[length] = '\0';
    } catch (...) {
    }
}

template <typename Port>
struct Opened {
    MMRESULT result;
    Port* port;
};

// Opened after the program was told the open failed: nobody else will close it.
void closeLateInput(MidiSystemSession&, const Opened<ModuleInput>& opened) {
    if (opened.result == MMSYSERR_NOERROR) {
        closeInput(opened.port);
    }
}

void closeLateOutput(MidiSystemSession&, const Opened<ModuleOutput>& opened) {
    if (opened.result == MMSYSERR_NOERROR) {
        closeOutput(opened.port);
    }
}

MMRESULT openInputEntry(unsigned index, void* device, void** port) noexcept {
    std::shared_ptr<void> held;
    try {
        held = std::shared_ptr<void>(device, session->program.released);
    } catch (...) {
        return MMSYSERR_NOMEM;  // the device went back to the program
    }
    Opened<ModuleInput> opened{MMSYSERR_ERROR, nullptr};
    const CallEnd end = bounded(
        *session, opened,
        [index, held] {
            Opened<ModuleInput> made{MMSYSERR_ERROR, nullptr};
            made.result = openInput(*session, index, held, &made.port);
            return made;
        },
        closeLateInput);
    *port = opened.port;
    return end == CallEnd::Returned ? opened.result : failure(end);
}

void closeInputEntry(void* port) noexcept {
    ModuleInput* input = static_cast<ModuleInput*>(port);
    // Left open when the system does not answer, but silent towards the program.
    stopDelivery(input);
    int ignored = 0;
    bounded(*session, ignored, [input] {
        closeInput(input);
        return 0;
    });
}

MMRESULT openOutputEntry(unsigned index, void** port) noexcept {
    Opened<ModuleOutput> opened{MMSYSERR_ERROR, nullptr};
    const CallEnd end = bounded(
        *session, opened,
        [index] {
            Opened<ModuleOutput> made{MMSYSERR_ERROR, nullptr};
            made.result = openOutput(*session, index, &made.port);
            return made;
        },
        closeLateOutput);
    *port = opened.port;
    return end == CallEnd::Returned ? opened.result : failure(end);
}

void closeOutputEntry(void* port) noexcept {
    ModuleOutput* output = static_cast<ModuleOutput*>(port);
    if (JackOutput* jack = jackOutput(output)) {
        if (!session->silent.load(std::memory_order_acquire)) {
            finishJackOutput(jack, session->answerBound);
        }
    }
    int ignored = 0;
    bounded(*session, ignored, [output] {
        closeOutput(output);
        return 0;
    });
}

// A JACK output is sent to from here; ALSA's on the worker with a copy of the bytes, which the
// caller may reuse once the call has given up.
MMRESULT send(void* port, const BYTE* bytes, size_t count) noexcept {
    ModuleOutput* output = static_cast<ModuleOutput*>(port);
    if (session->silent.load(std::memory_order_acquire)) {
        return MMSYSERR_ERROR;
    }
    if (JackOutput* jack = jackOutput(output)) {
        return sendJackOutput(jack, bytes, count, session->answerBound) ? MMSYSERR_NOERROR
                                                                        : MMSYSERR_ERROR;
    }
    std::shared_ptr<std::vector<BYTE>> message;
    try {
        message = std::make_shared<std::vector<BYTE>>(bytes, bytes + count);
    } catch (...) {
        return MMSYSERR_NOMEM;
    }
    MMRESULT result = MMSYSERR_ERROR;
    const CallEnd end = bounded(*session, result, [output, message] {
        return sendToAlsa(output, message->data(), message->size());
    });
    return end == CallEnd::Returned ? result : failure(end);
}

const MidiSystemPorts kPorts = {
    [] { return countPorts(true); },
    [] { return countPorts(false); },
    [](unsigned index, char* name, size_t size) { copyName(true, index, name, size); },
    [](unsigned index, char* name, size_t size) { copyName(false, index, name, size); },
    openInputEntry,
    closeInputEntry,
    openOutputEntry,
    closeOutputEntry,
    send,
    [](void* port, const MIDIHDR* header) {
        return send(port, reinterpret_cast<const BYTE*>(header->lpData), header->dwBufferLength);
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const MidiSystemPorts* midiSystemPorts(
    const MidiSystemProgram* program) noexcept {
    session = startSession(*program);
    return session != nullptr ? &kPorts : nullptr;
}
