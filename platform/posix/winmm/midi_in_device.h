// An open MIDI input device and its delivery thread: bytes from the port are queued to the
// thread, which parses them, fills the queued buffer headers and runs the program's callback,
// one message at a time. Callbacks run without the device's lock held, so that they may send
// to an output (which can echo straight back into this device).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/posix/winmm/midi_ports.h"
#include "platform/posix/winmm/sysex_assembler.h"

struct InputChunk {
    std::vector<BYTE> bytes;
    DWORD time;
};

struct MidiInDevice {
    std::mutex mutex;
    std::condition_variable wake;     // work for the delivery thread
    std::condition_variable settled;  // progress of the delivery thread
    HMIDIIN handle = nullptr;
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    MidiPortBackend* backend = nullptr;
    void* port = nullptr;
    bool started = false;
    DWORD startTime = 0;
    std::deque<InputChunk> pending;
    std::deque<MIDIHDR*> buffers;
    SysExAssembler assembler;
    uint64_t arrived = 0;   // chunks accepted
    uint64_t finished = 0;  // chunks delivered or dropped
    uint64_t resetsAsked = 0;
    uint64_t resetsDone = 0;
    bool delivering = false;
    // SysEx input that finds no free buffer waits a while for one, since a program may give
    // its buffers back; after a wait in vain it is dropped until a buffer is queued again.
    bool droppingSysEx = false;
    bool opened = false;
    bool closing = false;
    std::thread::id threadId;
    std::thread thread;
};

// Starts the delivery thread; returns once MIM_OPEN has been delivered. False when the
// system refuses the thread (nothing was delivered then).
bool startDelivery(MidiInDevice& device);
// Delivers MIM_CLOSE and ends the delivery thread. No input may arrive any more.
void endDelivery(MidiInDevice& device);
bool onDeliveryThread(const MidiInDevice& device);
// Queues a header for SysEx input (the caller holds the lock and has checked the header).
void queueBufferLocked(MidiInDevice& device, MIDIHDR* header);
// Ends delivery of input; returns once no callback for earlier input is running.
void stopLocked(std::unique_lock<std::mutex>& lock, MidiInDevice& device);
// Hands every queued buffer back on the delivery thread and returns after the callbacks.
void returnBuffers(std::unique_lock<std::mutex>& lock, MidiInDevice& device);
