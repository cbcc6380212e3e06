// The MIDI system module: the real MIDI system through RtMidi (JACK input through a port of our
// own, see jack_input.h), the ALSA sequencer where it can be opened, else a running JACK
// server, else no ports at all. The checks before RtMidi is
// touched are cheap, as the system may come and go while the program runs. The libraries' own
// messages are silenced: the program's streams carry only the program's texts.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RtMidi.h"
#include "platform/posix/midi_system/bounded_call.h"
#include "platform/posix/midi_system/jack_input.h"
#include "platform/posix/midi_system/jack_ring_access.h"
#include "platform/posix/midi_system/midi_system.h"
#include "platform/posix/midi_system/midi_system_module.h"

namespace {

const char kClientName[] = "midiparley";
// The program's side of every open input.
MidiBytesArrived arrivedAtDevice = nullptr;
// RtMidi's JACK output drops messages that do not fit its 16 KiB ring buffer without a word.
constexpr DWORD kJackLongMessageLimit = 16380;

// Past this a MIDI system is taken not to answer; opening a JACK client is the longest call.
constexpr std::chrono::milliseconds kAnswerBound{2000};
const char kAlsa[] = "ALSA sequencer";
const char kJack[] = "JACK server";
// The system last looked for or chosen, named when it does not answer.
std::atomic<const char*> inUse{kJack};
// Once a call did not answer, the system is left alone for the rest of the process.
std::atomic<bool> silent{false};

// Runs `run` bounded and gives its result, or `fallback` when the system did not answer (or
// did not before). What a late call made is released with `undo`.
template <typename Result, typename Run>
Result bounded(Result fallback, Run run, void (*undo)(const Result&) = nullptr) {
    if (silent.load(std::memory_order_acquire)) {
        return fallback;
    }
    auto result = std::make_shared<Result>(fallback);
    std::function<void()> release;
    if (undo != nullptr) {
        release = [result, undo] { undo(*result); };
    }
    if (callBounded([result, run] { *result = run(); }, release, kAnswerBound)) {
        return *result;
    }
    if (!silent.exchange(true)) {
        std::fprintf(stderr,
                     "midiparley: the %s did not answer within %d seconds; going on without its "
                     "ports\n",
                     inUse.load(), static_cast<int>(kAnswerBound.count() / 1000));
    }
    return fallback;
}

// Any error or warning from RtMidi means the call it came from did not do its work.
void noteError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::DEBUG_WARNING) {
        static_cast<std::atomic<bool>*>(failed)->store(true);
    }
}

bool ownPort(const std::string& name) {
    size_t length = sizeof kClientName - 1;
    return name.compare(0, length, kClientName) == 0 && name.size() > length &&
           (name[length] == ':' || name[length] == '-');
}

struct RealInput {
    std::unique_ptr<RtMidiIn> midi;  // ALSA
    JackInput* jack = nullptr;       // JACK: our own port, off RtMidi's locking, allocating path
    void* device = nullptr;
    std::atomic<bool> failed{false};
    std::atomic<bool> closed{false};  // left open on a system that does not answer: deliver no more
};

struct RealOutput {
    std::unique_ptr<RtMidiOut> midi;
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::atomic<bool> failed{false};
};

void onInput(double, std::vector<unsigned char>* message, void* record) {
    RealInput* input = static_cast<RealInput*>(record);
    if (message != nullptr && !message->empty() && !input->closed.load(std::memory_order_acquire)) {
        arrivedAtDevice(input->device, message->data(), message->size());
    }
}

void onJackInput(void* record, const BYTE* bytes, size_t count) {
    RealInput* input = static_cast<RealInput*>(record);
    if (!input->closed.load(std::memory_order_acquire)) {
        arrivedAtDevice(input->device, bytes, count);
    }
}

// RtMidi's JACK output copies the message into a ring buffer that its process callback empties.
void sendMessage(RealOutput& output, const unsigned char* bytes, size_t count) {
    if (output.api == RtMidi::UNIX_JACK) {
        JackRingAccess copy;
        output.midi->sendMessage(bytes, count);
    } else {
        output.midi->sendMessage(bytes, count);
    }
}

template <typename Midi>
int findPortByName(Midi& midi, const std::string& name) {
    unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (midi.getPortName(i) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class RtMidiPorts;
RtMidiPorts& systemPorts();

class RtMidiPorts {
  public:
    unsigned inputCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs_ = listPorts(true);
        return static_cast<unsigned>(inputs_.size());
    }

    unsigned outputCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        outputs_ = listPorts(false);
        return static_cast<unsigned>(outputs_.size());
    }

    std::string inputName(unsigned index) {
        std::lock_guard<std::mutex> lock(mutex_);
        return index < inputs_.size() ? inputs_[index] : std::string();
    }

    std::string outputName(unsigned index) {
        std::lock_guard<std::mutex> lock(mutex_);
        return index < outputs_.size() ? outputs_[index] : std::string();
    }

    MMRESULT openInput(unsigned index, void* device, void** port) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!findSystem() || index >= inputs_.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        auto input = std::make_unique<RealInput>();
        input->device = device;
        if (api_ == RtMidi::UNIX_JACK) {
            input->jack = openJackInput(kClientName, inputs_[index], onJackInput, input.get());
            if (input->jack == nullptr) {
                return MMSYSERR_ERROR;
            }
            *port = input.release();
            return MMSYSERR_NOERROR;
        }
        try {
            input->midi = std::make_unique<RtMidiIn>(api_, kClientName);
        } catch (const RtMidiError&) {
            return MMSYSERR_ERROR;
        }
        input->midi->setErrorCallback(noteError, &input->failed);
        int portNumber = findPortByName(*input->midi, inputs_[index]);
        if (portNumber < 0) {
            return MMSYSERR_BADDEVICEID;
        }
        input->midi->ignoreTypes(false, false, false);
        input->midi->setCallback(onInput, input.get());
        input->midi->openPort(static_cast<unsigned>(portNumber), "in");
        if (input->failed || !input->midi->isPortOpen()) {
            return MMSYSERR_ERROR;
        }
        *port = input.release();
        return MMSYSERR_NOERROR;
    }

    void closeInput(void* port) {
        std::unique_ptr<RealInput> input(static_cast<RealInput*>(port));
        if (input->jack != nullptr) {
            closeJackInput(input->jack);
            return;
        }
        input->midi->closePort();
        input->midi.reset();  // closes the client: its process thread has stopped after this
    }

    MMRESULT openOutput(unsigned index, void** port) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!findSystem() || index >= outputs_.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        auto output = std::make_unique<RealOutput>();
        output->api = api_;
        try {
            output->midi = std::make_unique<RtMidiOut>(api_, kClientName);
        } catch (const RtMidiError&) {
            return MMSYSERR_ERROR;
        }
        output->midi->setErrorCallback(noteError, &output->failed);
        int portNumber = findPortByName(*output->midi, outputs_[index]);
        if (portNumber < 0) {
            return MMSYSERR_BADDEVICEID;
        }
        output->midi->openPort(static_cast<unsigned>(portNumber), "out");
        if (output->failed || !output->midi->isPortOpen()) {
            return MMSYSERR_ERROR;
        }
        // What is sent before the new connection is in effect goes nowhere.
        if (api_ == RtMidi::UNIX_JACK) {
            waitJackCycles(jack_, 2);
        }
        *port = output.release();
        return MMSYSERR_NOERROR;
    }

    void closeOutput(void* port) {
        std::unique_ptr<RealOutput> output(static_cast<RealOutput*>(port));
        output->midi->closePort();
        // RtMidi frees its ring buffer before closing its JACK client; a process callback
        // still running then would read freed memory.
        if (output->api == RtMidi::UNIX_JACK) {
            waitCycles(2);
            JackRingAccess freeing;
            output->midi.reset();
        }
        output->midi.reset();
    }

    MMRESULT sendShort(void* port, const BYTE* bytes, size_t count) {
        RealOutput* output = static_cast<RealOutput*>(port);
        output->failed = false;
        sendMessage(*output, bytes, count);
        return output->failed ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

    MMRESULT sendLong(void* port, const MIDIHDR* header) {
        RealOutput* output = static_cast<RealOutput*>(port);
        const bool jack = output->api == RtMidi::UNIX_JACK;
        const auto* bytes = reinterpret_cast<const unsigned char*>(header->lpData);
        const DWORD length = header->dwBufferLength;
        // A longer message goes out in parts that fit, each a MIDI event of its own: a SysEx
        // message may span several events, and receivers join them.
        const DWORD partLength = jack ? kJackLongMessageLimit - 1 : length;
        output->failed = false;
        for (DWORD sent = 0; sent < length && !output->failed;) {
            const DWORD part = std::min(partLength, length - sent);
            sendMessage(*output, bytes + sent, part);
            sent += part;
            // Done on return: the bytes have left RtMidi's ring buffer, which also leaves room
            // for the next part or long message.
            if (jack) {
                waitCycles(2);
            }
        }
        return output->failed ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

  private:
    static void onJackShutdown(void* ports) {
        static_cast<RtMidiPorts*>(ports)->jack_gone_ = true;
        // On JACK's thread, possibly during the program's own writes: one write call.
        static const char kGone[] = "midiparley: the JACK server went away during the run\n";
        ssize_t ignored = write(STDERR_FILENO, kGone, sizeof kGone - 1);
        (void)ignored;
    }

    // A client left open at exit would leave its files behind in the JACK server's directory.
    // Bounded like every call: a server that does not answer would hold the exit too.
    static void closeAtExit() {
        bounded(0, [] {
            RtMidiPorts& ports = systemPorts();
            std::lock_guard<std::mutex> lock(ports.mutex_);
            if (ports.jack_ != nullptr) {
                jack_client_close(ports.jack_);
            }
            ports.jack_ = nullptr;
            ports.exiting_ = true;
            return 0;
        });
    }

    // Chooses the MIDI system once one is there. A JACK server that went away is dropped,
    // its client left alone, and looked for again.
    bool findSystem() {
        if (exiting_) {
            return false;
        }
        if (api_ == RtMidi::UNIX_JACK && jack_gone_) {
            jack_ = nullptr;
            jack_gone_ = false;
            api_ = RtMidi::UNSPECIFIED;
        }
        if (api_ != RtMidi::UNSPECIFIED) {
            return true;
        }
        std::string reason;
        inUse = kAlsa;
        if (alsaSequencerOpens(reason)) {
            try {
                lister_in_ = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName);
                lister_out_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
            } catch (const RtMidiError&) {
                lister_in_.reset();
                return false;
            }
            lister_in_->setErrorCallback(noteError, &lister_failed_);
            lister_out_->setErrorCallback(noteError, &lister_failed_);
            api_ = RtMidi::LINUX_ALSA;
            return true;
        }
        // Else device numbers would shift onto the built-in instrument without a word.
        if (!reason.empty() && !alsa_reason_told_) {
            alsa_reason_told_ = true;
            std::fprintf(stderr,
                         "midiparley: the ALSA sequencer cannot be opened (%s); going on without "
                         "its ports\n",
                         reason.c_str());
        }
        inUse = kJack;
        if (!jackServerSocketExists()) {
            return false;
        }
        jack_ = openJackProbe("midiparley-probe");
        if (jack_ == nullptr) {
            return false;
        }
        jack_on_shutdown(jack_, onJackShutdown, this);
        static bool exitHandlerSet = false;
        if (!exitHandlerSet) {
            exitHandlerSet = std::atexit(closeAtExit) == 0;
        }
        api_ = RtMidi::UNIX_JACK;
        return true;
    }

    // The ports of the system, without the ones this process opened itself. JACK's are
    // listed by the probe client, in the order RtMidi numbers them.
    std::vector<std::string> listPorts(bool inputs) {
        std::vector<std::string> names;
        if (!findSystem()) {
            return names;
        }
        if (api_ == RtMidi::UNIX_JACK) {
            const char** ports = jack_get_ports(jack_, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                                inputs ? JackPortIsOutput : JackPortIsInput);
            for (size_t i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
                names.push_back(ports[i]);
            }
            jack_free(ports);
        } else {
            RtMidi& lister = inputs ? static_cast<RtMidi&>(*lister_in_) : *lister_out_;
            unsigned count = lister.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                names.push_back(lister.getPortName(i));
            }
        }
        names.erase(
            std::remove_if(names.begin(), names.end(),
                           [](const std::string& name) { return name.empty() || ownPort(name); }),
            names.end());
        return names;
    }

    // Waits until JACK has begun `cycles` more process cycles. Without the probe client (the
    // process is exiting) a fixed time stands in for them.
    void waitCycles(unsigned cycles) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (jack_ != nullptr && !jack_gone_) {
            waitJackCycles(jack_, cycles);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }

    std::mutex mutex_;
    RtMidi::Api api_ = RtMidi::UNSPECIFIED;
    jack_client_t* jack_ = nullptr;  // without ports: shows the server runs, lists, keeps time
    std::atomic<bool> jack_gone_{false};
    bool exiting_ = false;
    bool alsa_reason_told_ = false;
    std::unique_ptr<RtMidiIn> lister_in_;  // ALSA only
    std::unique_ptr<RtMidiOut> lister_out_;
    std::atomic<bool> lister_failed_{false};
    std::vector<std::string> inputs_;
    std::vector<std::string> outputs_;
};

RtMidiPorts& systemPorts() {
    // Never destroyed: the program may still use its ports while the process exits.
    static RtMidiPorts* ports = new RtMidiPorts;
    return *ports;
}

void copyName(const std::string& text, char* name, size_t size) {
    if (name == nullptr || size == 0) {
        return;
    }
    const size_t length = std::min(text.size(), size - 1);
    text.copy(name, length);
    name[length] = '\0';
}

struct Opened {
    MMRESULT result;
    void* port;
};

void closeLateInput(const Opened& opened) {
    if (opened.result == MMSYSERR_NOERROR) {
        systemPorts().closeInput(opened.port);
    }
}

void closeLateOutput(const Opened& opened) {
    if (opened.result == MMSYSERR_NOERROR) {
        systemPorts().closeOutput(opened.port);
    }
}

// Every call bounded. Bytes to send are copied: the caller may reuse its buffer once the call
// has given up.
const MidiSystemPorts kSystemPorts = {
    [] { return bounded(0u, [] { return systemPorts().inputCount(); }); },
    [] { return bounded(0u, [] { return systemPorts().outputCount(); }); },
    [](unsigned index, char* name, size_t size) {
        copyName(bounded(std::string(), [index] { return systemPorts().inputName(index); }), name,
                 size);
    },
    [](unsigned index, char* name, size_t size) {
        copyName(bounded(std::string(), [index] { return systemPorts().outputName(index); }), name,
                 size);
    },
    [](unsigned index, void* device, void** port) {
        Opened opened = bounded(
            Opened{MMSYSERR_ERROR, nullptr},
            [index, device] {
                Opened made{MMSYSERR_ERROR, nullptr};
                made.result = systemPorts().openInput(index, device, &made.port);
                return made;
            },
            closeLateInput);
        *port = opened.port;
        return opened.result;
    },
    [](void* port) {
        // Left open when the system does not answer, but silent towards the program.
        static_cast<RealInput*>(port)->closed.store(true, std::memory_order_release);
        bounded(0, [port] {
            systemPorts().closeInput(port);
            return 0;
        });
    },
    [](unsigned index, void** port) {
        Opened opened = bounded(
            Opened{MMSYSERR_ERROR, nullptr},
            [index] {
                Opened made{MMSYSERR_ERROR, nullptr};
                made.result = systemPorts().openOutput(index, &made.port);
                return made;
            },
            closeLateOutput);
        *port = opened.port;
        return opened.result;
    },
    [](void* port) {
        bounded(0, [port] {
            systemPorts().closeOutput(port);
            return 0;
        });
    },
    [](void* port, const BYTE* bytes, size_t count) {
        std::vector<BYTE> message(bytes, bytes + count);
        return bounded(static_cast<MMRESULT>(MMSYSERR_ERROR), [port, message] {
            return systemPorts().sendShort(port, message.data(), message.size());
        });
    },
    [](void* port, const MIDIHDR* header) {
        auto message = std::make_shared<std::vector<char>>(header->lpData,
                                                           header->lpData + header->dwBufferLength);
        return bounded(static_cast<MMRESULT>(MMSYSERR_ERROR), [port, message] {
            MIDIHDR copy{};
            copy.lpData = message->data();
            copy.dwBufferLength = static_cast<DWORD>(message->size());
            return systemPorts().sendLong(port, &copy);
        });
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const MidiSystemPorts* midiSystemPorts(
    MidiBytesArrived arrived) {
    arrivedAtDevice = arrived;
    return &kSystemPorts;
}
