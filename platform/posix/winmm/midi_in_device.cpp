#include "platform/posix/winmm/midi_in_device.h"

#include <chrono>
#include <system_error>

#include "platform/posix/clock.h"
#include "platform/posix/realtime_priority.h"

namespace {

// How long SysEx input waits for a free buffer. A program that gives its buffers back does so
// once it has seen the input that filled them, which on a loaded machine may take far longer
// than a moment (over 250 ms seen under AddressSanitizer); the input of one that does not is
// dropped after the wait, as a device with nowhere to put it would drop it. Waiting costs such
// a program nothing: the end of recording ends the wait at once.
constexpr auto kBufferWait = std::chrono::seconds(2);

// Runs the callback for each event with the lock released; the caller holds it on entry.
void deliver(std::unique_lock<std::mutex>& lock, MidiInDevice& device,
             const std::vector<InputEvent>& events, DWORD timestamp) {
    if (events.empty() || device.callback == nullptr) {
        return;
    }
    device.delivering = true;
    lock.unlock();
    for (const InputEvent& event : events) {
        device.callback(device.handle, event.message, device.instance, event.param1, timestamp);
    }
    lock.lock();
    device.delivering = false;
    device.settled.notify_all();
}

void returnBuffersNow(std::unique_lock<std::mutex>& lock, MidiInDevice& device) {
    std::vector<InputEvent> events;
    returnAllBuffers(device.assembler, device.buffers, events);
    const size_t lost = device.assembler.lostBytes;
    device.assembler = SysExAssembler{};
    device.assembler.lostBytes = lost;
    deliver(lock, device, events, monotonicMilliseconds() - device.startTime);
}

// Assembles a chunk of input and delivers what it gives. When the buffers run out inside a
// SysEx message, what is complete goes to the program first and the rest of the chunk waits
// for a buffer to come back: the bytes have already arrived, and a program that gives its
// buffers back (as every one that records long input does) loses none of them.
void assembleChunk(std::unique_lock<std::mutex>& lock, MidiInDevice& device,
                   const InputChunk& chunk) {
    std::vector<InputEvent> events;
    const DWORD timestamp = chunk.time - device.startTime;
    size_t done = 0;
    for (;;) {
        events.clear();
        done += assembleBytes(device.assembler, device.buffers, chunk.bytes.data() + done,
                              chunk.bytes.size() - done, events, !device.droppingSysEx);
        deliver(lock, device, events, timestamp);
        if (done == chunk.bytes.size()) {
            return;
        }
        const bool queued = device.wake.wait_for(lock, kBufferWait, [&device] {
            return !device.buffers.empty() || !device.started || device.closing;
        });
        if (!device.started || device.closing) {
            // Recording ended while these bytes waited: they are lost for want of a buffer.
            std::deque<MIDIHDR*> none;
            events.clear();
            assembleBytes(device.assembler, none, chunk.bytes.data() + done,
                          chunk.bytes.size() - done, events);
            return;
        }
        device.droppingSysEx = !queued;
    }
}

// Windows runs MIDI input callbacks at high priority, and programs rely on it: one that spins
// waiting for an answer would otherwise keep the processor that the woken delivery thread was
// queued on for a whole time slice, milliseconds. So delivery runs at the lowest real-time
// priority where the system allows it (CAP_SYS_NICE, or RLIMIT_RTPRIO of 1 or more as audio
// users often have), below any audio server's threads; elsewhere at the normal priority.
void deliveryLoop(MidiInDevice* device) {
    takeLowestRealtimePriority();
    std::unique_lock<std::mutex> lock(device->mutex);
    device->threadId = std::this_thread::get_id();
    deliver(lock, *device, {{MIM_OPEN, 0}}, 0);
    device->opened = true;
    device->settled.notify_all();
    // The thread's heap is set up by its first allocation (a few system calls): now, while
    // the opener goes on, rather than when the first input is to be delivered.
    lock.unlock();
    std::vector<InputEvent> firstAllocation;
    firstAllocation.reserve(16);
    lock.lock();
    for (;;) {
        device->wake.wait(lock, [device] {
            return device->closing || device->resetsAsked != device->resetsDone ||
                   !device->pending.empty();
        });
        if (device->resetsAsked != device->resetsDone) {
            uint64_t asked = device->resetsAsked;
            returnBuffersNow(lock, *device);
            device->resetsDone = asked;
        } else if (!device->pending.empty()) {
            InputChunk chunk = std::move(device->pending.front());
            device->pending.pop_front();
            if (device->started) {
                assembleChunk(lock, *device, chunk);
            }
            ++device->finished;
        } else {
            break;
        }
        device->settled.notify_all();
    }
    deliver(lock, *device, {{MIM_CLOSE, 0}}, 0);
}

}  // namespace

bool onDeliveryThread(const MidiInDevice& device) {
    return device.threadId == std::this_thread::get_id();
}

void queueBufferLocked(MidiInDevice& device, MIDIHDR* header) {
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~static_cast<DWORD>(MHDR_DONE);
    device.buffers.push_back(header);
    device.droppingSysEx = false;
    device.wake.notify_one();  // input may be waiting for it
}

void stopLocked(std::unique_lock<std::mutex>& lock, MidiInDevice& device) {
    device.started = false;
    device.droppingSysEx = false;
    device.finished += device.pending.size();
    device.pending.clear();
    device.settled.notify_all();
    device.wake.notify_one();  // a chunk waiting for a buffer is given up
    if (!onDeliveryThread(device)) {
        device.settled.wait(lock, [&device] { return !device.delivering; });
    }
}

bool startDelivery(MidiInDevice& device) {
    try {
        device.thread = std::thread(deliveryLoop, &device);
    } catch (const std::system_error&) {
        return false;
    }
    // Raised here as well, so that the new thread runs at once rather than queue behind the
    // machine's other work while the opener waits for it; it raises itself too, before
    // MIM_OPEN, in case it runs first.
    takeLowestRealtimePriority(device.thread.native_handle());
    std::unique_lock<std::mutex> lock(device.mutex);
    device.settled.wait(lock, [&] { return device.opened; });
    return true;
}

void endDelivery(MidiInDevice& device) {
    {
        std::lock_guard<std::mutex> lock(device.mutex);
        device.closing = true;
        device.wake.notify_one();
    }
    device.thread.join();
}

void returnBuffers(std::unique_lock<std::mutex>& lock, MidiInDevice& device) {
    if (onDeliveryThread(device)) {
        returnBuffersNow(lock, device);
        return;
    }
    uint64_t target = ++device.resetsAsked;
    device.wake.notify_one();
    device.settled.wait(lock, [&] { return device.resetsDone >= target; });
}

void midiInputArrived(MidiInDevice& device, const BYTE* bytes, size_t count) {
    DWORD now = monotonicMilliseconds();
    std::lock_guard<std::mutex> lock(device.mutex);
    if (!device.started || device.closing || count == 0) {
        return;
    }
    device.pending.push_back({std::vector<BYTE>(bytes, bytes + count), now});
    ++device.arrived;
    device.wake.notify_one();
}

void midiInputLost(MidiInDevice& device, size_t count) noexcept {
    std::lock_guard<std::mutex> lock(device.mutex);
    if (device.started && !device.closing) {
        device.assembler.lostBytes += count;
    }
}

bool midiInputAwaitDelivered(MidiInDevice& device, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(device.mutex);
    uint64_t target = device.arrived;
    return device.settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return device.finished >= target; });
}
