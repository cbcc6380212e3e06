// The input half of the multimedia MIDI functions: handles, buffer headers and the device
// life cycle. Delivery itself is in midi_in_device.cpp.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/clock.h"
#include "platform/posix/winmm/handle_registry.h"
#include "platform/posix/winmm/midi_in_device.h"

namespace {

using InputRegistry = HandleRegistry<MidiInDevice>;

InputRegistry& registry() {
    return handleRegistry<MidiInDevice>();
}

std::shared_ptr<MidiInDevice> findDevice(HMIDIIN handle) {
    return registry().find(handle);
}

// This layer keeps the flag under the device's lock, so it answers at once for the usual
// header that is not queued; the scan only confirms a header marked as queued.
bool isQueued(const MidiInDevice& device, const MIDIHDR* header) {
    return (header->dwFlags & MHDR_INQUEUE) &&
           std::find(device.buffers.begin(), device.buffers.end(), header) != device.buffers.end();
}

}  // namespace

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
    if (!startDelivery(*device)) {
        backend->closeInput(device->port);
        return MMSYSERR_NOMEM;
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
    queueBufferLocked(*device, header);
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
    returnBuffers(lock, *device);
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
    endDelivery(*device);
    return MMSYSERR_NOERROR;
}
