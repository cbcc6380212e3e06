// MIDI input devices. Each open device has a delivery thread of its own: bytes from the port
// are queued to it, and it parses them, fills the queued buffer headers and runs the program's
// callback, one message at a time. Callbacks run without the device's lock held, so that they
// may send to an output (which can echo straight back into this device).
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/posix/clock.h"
#include "platform/posix/midi_ports.h"
#include "platform/posix/sysex_assembler.h"

namespace {

struct InputChunk {
    std::vector<BYTE> bytes;
    DWORD time;
};

}  // namespace

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
    bool opened = false;
    bool closing = false;
    std::thread::id threadId;
    std::thread thread;
};

namespace {

struct InputRegistry {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<MidiInDevice>> devices;
    uintptr_t nextId = 0x100;
};

// Never destroyed: the program may close its input from an exit handler, after the statics.
InputRegistry& registry() {
    static InputRegistry* instance = new InputRegistry;
    return *instance;
}

std::shared_ptr<MidiInDevice> findDevice(HMIDIIN handle) {
    InputRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.devices.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.devices.end() ? nullptr : it->second;
}

bool badHeader(const MIDIHDR* header, UINT size) {
    return header == nullptr || size < kMinHeaderSize;
}

bool isQueued(const MidiInDevice& device, const MIDIHDR* header) {
    return std::find(device.buffers.begin(), device.buffers.end(), header) != device.buffers.end();
}

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
    device.assembler = SysExAssembler{};
    deliver(lock, device, events, monotonicMilliseconds() - device.startTime);
}

void deliveryLoop(MidiInDevice* device) {
    std::unique_lock<std::mutex> lock(device->mutex);
    device->threadId = std::this_thread::get_id();
    deliver(lock, *device, {{MIM_OPEN, 0}}, 0);
    device->opened = true;
    device->settled.notify_all();
    std::vector<InputEvent> events;
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
            events.clear();
            if (device->started) {
                assembleBytes(device->assembler, device->buffers, chunk.bytes.data(),
                              chunk.bytes.size(), events);
            }
            deliver(lock, *device, events, chunk.time - device->startTime);
            ++device->finished;
        } else {
            break;
        }
        device->settled.notify_all();
    }
    deliver(lock, *device, {{MIM_CLOSE, 0}}, 0);
}

bool onDeliveryThread(const MidiInDevice& device) {
    return device.threadId == std::this_thread::get_id();
}

// Ends delivery of input; returns once no callback for earlier input is running.
void stopLocked(std::unique_lock<std::mutex>& lock, MidiInDevice& device) {
    device.started = false;
    device.finished += device.pending.size();
    device.pending.clear();
    device.settled.notify_all();
    if (!onDeliveryThread(device)) {
        device.settled.wait(lock, [&device] { return !device.delivering; });
    }
}

}  // namespace

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

bool midiInputAwaitDelivered(MidiInDevice& device, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(device.mutex);
    uint64_t target = device.arrived;
    return device.settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return device.finished >= target; });
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_FUNCTION) {
        return MMSYSERR_INVALFLAG;
    }
    MidiPortBackend* backend = nullptr;
    unsigned index = 0;
    if (!findInputPort(deviceId, &backend, &index)) {
        return MMSYSERR_BADDEVICEID;
    }
    auto device = std::make_shared<MidiInDevice>();
    if (type == CALLBACK_FUNCTION) {
        device->callback = reinterpret_cast<MIDIINPROC>(callback);
    }
    device->instance = instance;
    device->backend = backend;
    InputRegistry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        device->handle = reinterpret_cast<HMIDIIN>(r.nextId++);
    }
    MMRESULT result = backend->openInput(index, device, &device->port);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    device->thread = std::thread(deliveryLoop, device.get());
    {
        std::unique_lock<std::mutex> lock(device->mutex);
        device->settled.wait(lock, [&] { return device->opened; });
    }
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.devices[reinterpret_cast<uintptr_t>(device->handle)] = device;
    }
    *handle = device->handle;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize) || header->lpData == nullptr || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (isQueued(*device, header)) {
        return MIDIERR_STILLPLAYING;
    }
    if (!(header->dwFlags & MHDR_PREPARED)) {
        header->dwFlags = (header->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize) || header->lpData == nullptr || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (isQueued(*device, header)) {
        return MIDIERR_STILLPLAYING;
    }
    if (!(header->dwFlags & MHDR_PREPARED)) {
        return MIDIERR_UNPREPARED;
    }
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~static_cast<DWORD>(MHDR_DONE);
    device->buffers.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (isQueued(*device, header)) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~static_cast<DWORD>(MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN handle) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (!device->started) {
        device->started = true;
        device->startTime = monotonicMilliseconds();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN handle) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    std::unique_lock<std::mutex> lock(device->mutex);
    stopLocked(lock, *device);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    std::unique_lock<std::mutex> lock(device->mutex);
    stopLocked(lock, *device);
    if (onDeliveryThread(*device)) {
        returnBuffersNow(lock, *device);
        return MMSYSERR_NOERROR;
    }
    uint64_t target = ++device->resetsAsked;
    device->wake.notify_one();
    device->settled.wait(lock, [&] { return device->resetsDone >= target; });
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle) {
    std::shared_ptr<MidiInDevice> device;
    {
        InputRegistry& r = registry();
        std::lock_guard<std::mutex> registryLock(r.mutex);
        auto it = r.devices.find(reinterpret_cast<uintptr_t>(handle));
        if (it == r.devices.end()) {
            return MMSYSERR_INVALHANDLE;
        }
        std::unique_lock<std::mutex> lock(it->second->mutex);
        if (!it->second->buffers.empty()) {
            return MIDIERR_STILLPLAYING;
        }
        // The delivery thread cannot wait for its own end.
        if (onDeliveryThread(*it->second)) {
            return MMSYSERR_ERROR;
        }
        device = it->second;
        r.devices.erase(it);
    }
    {
        // Without the registry's lock: a running callback may still call into the layer.
        std::unique_lock<std::mutex> lock(device->mutex);
        stopLocked(lock, *device);
    }
    device->backend->closeInput(device->port);
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        device->closing = true;
        device->wake.notify_one();
    }
    device->thread.join();
    return MMSYSERR_NOERROR;
}
