#include "platform/posix/midi_system/module/session.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/posix/midi_system/module/system_probe.h"

namespace {

const char kAlsa[] = "ALSA sequencer";
const char kJack[] = "JACK server";

MidiSystemSession* theSession = nullptr;

bool ownPort(const std::string& name) {
    const size_t length = sizeof kClientName - 1;
    return name.compare(0, length, kClientName) == 0 && name.size() > length &&
           (name[length] == ':' || name[length] == '-');
}

// On JACK's thread.
void onJackShutdown(void* record) {
    MidiSystemSession& session = *static_cast<MidiSystemSession*>(record);
    session.jackGone = true;
    reportLine(session, "midiparley: the JACK server went away during the run");
}

// A client left open at exit would leave its files behind in the JACK server's directory.
// Bounded like every call: a server that does not answer would hold the exit too.
void closeAtExit() {
    MidiSystemSession& session = *theSession;
    int ignored = 0;
    bounded(session, ignored, [&session] {
        if (session.jack != nullptr) {
            jack_client_close(session.jack);
        }
        session.jack = nullptr;
        session.exiting = true;
        return 0;
    });
}

}  // namespace

void noteRtMidiError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::DEBUG_WARNING) {
        static_cast<std::atomic<bool>*>(failed)->store(true);
    }
}

MidiSystemSession* startSession(const MidiSystemProgram& program) noexcept {
    if (theSession == nullptr) {
        theSession = new (std::nothrow) MidiSystemSession;
        if (theSession != nullptr) {
            theSession->program = program;
        }
    }
    return theSession;
}

void reportLine(MidiSystemSession& session, const char* format, ...) noexcept {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    session.program.report(line);
}

// A JACK server that went away is dropped, its client left alone, and looked for again.
bool findSystem(MidiSystemSession& session) {
    if (session.exiting) {
        return false;
    }
    if (session.api == RtMidi::UNIX_JACK && session.jackGone) {
        session.jack = nullptr;
        session.jackGone = false;
        session.api = RtMidi::UNSPECIFIED;
    }
    if (session.api != RtMidi::UNSPECIFIED) {
        return true;
    }
    std::string reason;
    session.inUse = kAlsa;
    if (alsaSequencerOpens(reason)) {
        try {
            session.listerIn = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName);
            session.listerOut = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
        } catch (const RtMidiError&) {
            session.listerIn.reset();
            return false;
        }
        session.listerIn->setErrorCallback(noteRtMidiError, &session.listerFailed);
        session.listerOut->setErrorCallback(noteRtMidiError, &session.listerFailed);
        session.api = RtMidi::LINUX_ALSA;
        return true;
    }
    // Else device numbers would shift onto the built-in instrument without a word.
    if (!reason.empty() && !session.alsaReasonTold) {
        session.alsaReasonTold = true;
        reportLine(session,
                   "midiparley: the ALSA sequencer cannot be opened (%s); going on without its "
                   "ports",
                   reason.c_str());
    }
    session.inUse = kJack;
    if (!jackServerSocketExists()) {
        return false;
    }
    session.jack = openJackProbe("midiparley-probe");
    if (session.jack == nullptr) {
        return false;
    }
    jack_on_shutdown(session.jack, onJackShutdown, &session);
    static bool exitHandlerSet = false;
    if (!exitHandlerSet) {
        exitHandlerSet = std::atexit(closeAtExit) == 0;
    }
    session.api = RtMidi::UNIX_JACK;
    return true;
}

namespace {

// JACK's ports are listed by the probe client, in the order RtMidi numbers them.
std::vector<std::string> systemPorts(MidiSystemSession& session, bool inputs) {
    std::vector<std::string> names;
    if (session.api == RtMidi::UNIX_JACK) {
        std::unique_ptr<const char*, void (*)(void*)> ports(
            jack_get_ports(session.jack, nullptr, JACK_DEFAULT_MIDI_TYPE,
                           inputs ? JackPortIsOutput : JackPortIsInput),
            jack_free);
        for (size_t i = 0; ports != nullptr && ports.get()[i] != nullptr; ++i) {
            names.push_back(ports.get()[i]);
        }
    } else {
        RtMidi& lister = inputs ? static_cast<RtMidi&>(*session.listerIn) : *session.listerOut;
        const unsigned count = lister.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            names.push_back(lister.getPortName(i));
        }
    }
    return names;
}

}  // namespace

unsigned listPorts(MidiSystemSession& session, bool inputs) {
    std::vector<std::string>& names = inputs ? session.inputs : session.outputs;
    names.clear();
    if (findSystem(session)) {
        names = systemPorts(session, inputs);
    }
    names.erase(
        std::remove_if(names.begin(), names.end(),
                       [](const std::string& name) { return name.empty() || ownPort(name); }),
        names.end());
    return static_cast<unsigned>(names.size());
}

std::string portName(MidiSystemSession& session, bool inputs, unsigned index) {
    const std::vector<std::string>& names = inputs ? session.inputs : session.outputs;
    return index < names.size() ? names[index] : std::string();
}
