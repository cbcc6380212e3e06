// The module's one session with the machine's MIDI system, kept for the life of the process:
// the program's callbacks, the worker every call into a library runs on, whether the system
// has stopped answering, the system in use with its JACK client, and the ports last listed.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RtMidi.h"
#include "platform/posix/midi_system/midi_system_module.h"
#include "platform/posix/midi_system/module/bounded_call.h"

// Past this a MIDI system is taken not to answer; opening a JACK client is the longest call.
constexpr std::chrono::milliseconds kAnswerBound{2000};
// The client name of every port this process opens.
constexpr char kClientName[] = "midiparley";

struct MidiSystemSession {
    MidiSystemProgram program{};
    BoundedWorker worker;
    std::chrono::milliseconds answerBound = kAnswerBound;  // tests shorten it
    // Once a call did not answer, the system is left alone for the rest of the process.
    std::atomic<bool> silent{false};
    // The system last looked for or chosen, named when it does not answer.
    std::atomic<const char*> inUse{"JACK server"};

    // The rest is the worker's alone.
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    jack_client_t* jack = nullptr;  // without ports: shows the server runs, lists the ports
    std::atomic<bool> jackGone{false};
    bool exiting = false;
    bool alsaReasonTold = false;
    std::unique_ptr<RtMidiIn> listerIn;  // ALSA only
    std::unique_ptr<RtMidiOut> listerOut;
    std::atomic<bool> listerFailed{false};
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

// The session, made with the program's callbacks at the module's first entry and never
// destroyed: a call that did not answer may still run at exit. Null when there is no memory
// for it.
MidiSystemSession* startSession(const MidiSystemProgram& program) noexcept;

// Hands the program a line made like printf's; never throws.
void reportLine(MidiSystemSession& session, const char* format, ...) noexcept
    __attribute__((format(printf, 2, 3)));

enum class CallEnd {
    Returned,
    NotAnswered,  // now, or an earlier call: the system is left alone
    NoMemory,
};

// Runs `run` on the worker, bounded, and stores its result when it returns in time. A call
// that did not answer is named once, and what it made when it returns at last goes to `late`
// on the worker. Calls nothing once the system did not answer.
// `run` is copied without an exception (it captures plain values and shared pointers).
template <typename Result, typename Run>
CallEnd bounded(MidiSystemSession& session, Result& result, Run run,
                void (*late)(MidiSystemSession&, const Result&) = nullptr) noexcept {
    if (session.silent.load(std::memory_order_acquire)) {
        return CallEnd::NotAnswered;
    }
    BoundedEnd end = BoundedEnd::Threw;
    try {
        auto made = std::make_shared<Result>(result);
        std::function<void()> undo;
        if (late != nullptr) {
            undo = [&session, made, late] { late(session, *made); };
        }
        end = callBounded(
            session.worker, [made, run] { *made = run(); }, std::move(undo), session.answerBound);
        if (end == BoundedEnd::Returned) {
            result = *made;
        }
    } catch (...) {
        return CallEnd::NoMemory;
    }
    if (end == BoundedEnd::TimedOut && !session.silent.exchange(true)) {
        reportLine(session,
                   "midiparley: the %s did not answer within %d seconds; going on without its "
                   "ports",
                   session.inUse.load(), static_cast<int>(session.answerBound.count() / 1000));
    }
    return end == BoundedEnd::Returned   ? CallEnd::Returned
           : end == BoundedEnd::TimedOut ? CallEnd::NotAnswered
                                         : CallEnd::NoMemory;
}

// RtMidi's error callback: any error or warning means the call it came from did not do its
// work; `failed` is a std::atomic<bool>.
void noteRtMidiError(RtMidiError::Type type, const std::string& text, void* failed);

// On the worker: chooses the system once one is there (the ALSA sequencer where it opens, else
// a running JACK server) and lists its ports, without those of this process.
bool findSystem(MidiSystemSession& session);
unsigned listPorts(MidiSystemSession& session, bool inputs);
std::string portName(MidiSystemSession& session, bool inputs, unsigned index);
