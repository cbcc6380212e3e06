// MIDI device numbers and capabilities, output devices and the multimedia clock. Inputs live
// in winmm_input-posix.cpp; the ports themselves behind the MidiPortBackend seam.
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/posix/clock.h"
#include "platform/posix/winmm/handle_registry.h"
#include "platform/posix/winmm/midi_ports.h"
#include "platform/posix/winmm/sysex_assembler.h"

namespace {

constexpr WORD kUnmappedId = 0xFFFF;
constexpr MMVERSION kDriverVersion = 0x0100;
constexpr WORD kTechnologyPort = 1;  // MOD_MIDIPORT: a hardware port, no voices of its own

struct MidiOutDevice {
    std::mutex mutex;  // one call into the port at a time
    MidiPortBackend* backend = nullptr;
    void* port = nullptr;
};

using OutputRegistry = HandleRegistry<MidiOutDevice>;

OutputRegistry& registry() {
    return handleRegistry<MidiOutDevice>();
}

std::shared_ptr<MidiOutDevice> findDevice(HMIDIOUT handle) {
    return registry().find(handle);
}

bool findPort(UINT deviceId, bool input, MidiPortBackend** backend, unsigned* index) {
    MidiPortBackend* sources[] = {&realMidiPorts(), &virtualInstrumentPorts()};
    for (MidiPortBackend* source : sources) {
        unsigned count = input ? source->inputCount() : source->outputCount();
        if (deviceId < count) {
            *backend = source;
            *index = deviceId;
            return true;
        }
        deviceId -= count;
    }
    return false;
}

// The port's name, cut to fit the capability record with its terminator.
void copyName(const std::string& name, CHAR (&target)[MAXPNAMELEN]) {
    size_t length = std::min(name.size(), static_cast<size_t>(MAXPNAMELEN - 1));
    std::memcpy(target, name.data(), length);
    target[length] = '\0';
}

}  // namespace

bool findInputPort(UINT deviceId, MidiPortBackend** backend, unsigned* index) {
    return findPort(deviceId, true, backend, index);
}

bool findOutputPort(UINT deviceId, MidiPortBackend** backend, unsigned* index) {
    return findPort(deviceId, false, backend, index);
}

UINT midiInGetNumDevs(void) {
    return realMidiPorts().inputCount() + virtualInstrumentPorts().inputCount();
}

UINT midiOutGetNumDevs(void) {
    return realMidiPorts().outputCount() + virtualInstrumentPorts().outputCount();
}

namespace {

// The fields both capability records have, from the port the device number names. False for
// an unknown device.
template <typename Caps>
bool fillSharedCaps(UINT_PTR deviceId, bool input, Caps& filled) {
    MidiPortBackend* backend = nullptr;
    unsigned index = 0;
    auto findPort = input ? findInputPort : findOutputPort;
    if (deviceId > UINT_MAX || !findPort(static_cast<UINT>(deviceId), &backend, &index)) {
        return false;
    }
    filled.wMid = kUnmappedId;
    filled.wPid = kUnmappedId;
    filled.vDriverVersion = kDriverVersion;
    copyName(input ? backend->inputName(index) : backend->outputName(index), filled.szPname);
    return true;
}

}  // namespace

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize) {
    if (caps == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    MIDIINCAPSA filled{};
    if (!fillSharedCaps(deviceId, true, filled)) {
        return MMSYSERR_BADDEVICEID;
    }
    std::memcpy(caps, &filled, std::min<size_t>(capsSize, sizeof filled));
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize) {
    if (caps == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    MIDIOUTCAPSA filled{};
    if (!fillSharedCaps(deviceId, false, filled)) {
        return MMSYSERR_BADDEVICEID;
    }
    filled.wTechnology = kTechnologyPort;
    filled.wChannelMask = 0xFFFF;
    std::memcpy(caps, &filled, std::min<size_t>(capsSize, sizeof filled));
    return MMSYSERR_NOERROR;
}

// Output devices report nothing back, so only CALLBACK_NULL is taken.
MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR /*callback*/,
                     DWORD_PTR /*instance*/, DWORD flags) {
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_NULL) {
        return MMSYSERR_INVALFLAG;
    }
    auto device = std::make_shared<MidiOutDevice>();
    unsigned index = 0;
    if (!findOutputPort(deviceId, &device->backend, &index)) {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT result = device->backend->openOutput(index, &device->port);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    OutputRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    uintptr_t id = r.nextId++;
    r.devices[id] = device;
    *handle = reinterpret_cast<HMIDIOUT>(id);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
    std::shared_ptr<MidiOutDevice> device;
    {
        OutputRegistry& r = registry();
        std::lock_guard<std::mutex> registryLock(r.mutex);
        auto it = r.devices.find(reinterpret_cast<uintptr_t>(handle));
        if (it == r.devices.end()) {
            return MMSYSERR_INVALHANDLE;
        }
        std::lock_guard<std::mutex> lock(it->second->mutex);
        if (it->second->backend->stillPlaying(it->second->port, nullptr)) {
            return MIDIERR_STILLPLAYING;
        }
        device = it->second;
        r.devices.erase(it);
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->backend->closeOutput(device->port);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    const BYTE bytes[3] = {static_cast<BYTE>(message), static_cast<BYTE>(message >> 8),
                           static_cast<BYTE>(message >> 16)};
    int length = shortMessageLength(bytes[0]);
    if (length == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    return device->backend->sendShort(device->port, bytes, static_cast<size_t>(length));
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (header->dwFlags & MHDR_PREPARED) {
        return MMSYSERR_NOERROR;
    }
    MMRESULT result = device->backend->prepareLong(device->port);
    if (result == MMSYSERR_NOERROR) {
        header->dwFlags = (header->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    }
    return result;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (!(header->dwFlags & MHDR_PREPARED)) {
        return MIDIERR_UNPREPARED;
    }
    if (device->backend->stillPlaying(device->port, header)) {
        return MIDIERR_STILLPLAYING;
    }
    if (header->lpData == nullptr || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~static_cast<DWORD>(MHDR_DONE);
    bool held = false;
    MMRESULT result = device->backend->sendLong(device->port, header, &held);
    if (result != MMSYSERR_NOERROR) {
        header->dwFlags &= ~static_cast<DWORD>(MHDR_INQUEUE);
    } else if (!held) {
        header->dwFlags = (header->dwFlags | MHDR_DONE) & ~static_cast<DWORD>(MHDR_INQUEUE);
    }
    return result;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    auto device = findDevice(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (badHeader(header, headerSize)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (device->backend->stillPlaying(device->port, header)) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~static_cast<DWORD>(MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

DWORD timeGetTime(void) {
    return monotonicMilliseconds();
}

MMRESULT timeBeginPeriod(UINT /*periodMs*/) {
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT /*periodMs*/) {
    return TIMERR_NOERROR;
}
