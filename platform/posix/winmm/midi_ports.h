// The seam between the MIDI functions and the two kinds of ports behind them: the real MIDI
// system (through RtMidi) and the built-in virtual instrument.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/posix/winmm/winmm.h"

// An open input device; defined with the input functions. Backends only pass bytes to it.
struct MidiInDevice;

// Bytes that arrived on an open input, from any thread. Kept in order and delivered on the
// device's own thread; dropped unless the device is started.
void midiInputArrived(MidiInDevice& device, const BYTE* bytes, size_t count);
// Input bytes that arrived on an open input but were dropped before reaching it: counted as
// SysEx input lost, like bytes that found no buffer. Takes no memory; any thread.
void midiInputLost(MidiInDevice& device, size_t count) noexcept;
// Waits until everything that arrived on the device so far has been delivered or dropped.
bool midiInputAwaitDelivered(MidiInDevice& device, DWORD timeoutMs);

// A source of input and output ports, numbered from 0 within the source. Port tokens are the
// backend's own records, handed back on every later call.
class MidiPortBackend {
  public:
    virtual ~MidiPortBackend() = default;
    virtual unsigned inputCount() = 0;
    virtual unsigned outputCount() = 0;
    virtual std::string inputName(unsigned index) = 0;
    virtual std::string outputName(unsigned index) = 0;
    virtual MMRESULT openInput(unsigned index, const std::shared_ptr<MidiInDevice>& device,
                               void** port) = 0;
    // No bytes reach the device once this returns.
    virtual void closeInput(void* port) = 0;
    virtual MMRESULT openOutput(unsigned index, void** port) = 0;
    virtual void closeOutput(void* port) = 0;
    virtual MMRESULT sendShort(void* port, const BYTE* bytes, size_t count) = 0;
    virtual MMRESULT prepareLong(void* port) = 0;
    // Sends the header's buffer. *held tells that the port keeps playing it after the return;
    // it then finishes the header itself (MHDR_DONE set, MHDR_INQUEUE cleared).
    virtual MMRESULT sendLong(void* port, MIDIHDR* header, bool* held) = 0;
    // Whether the port still plays this header (nullptr: any header).
    virtual bool stillPlaying(void* port, const MIDIHDR* header) = 0;
};

MidiPortBackend& realMidiPorts();
MidiPortBackend& virtualInstrumentPorts();

// Device numbers: the real ports first, then the virtual instrument. False for unknown ones.
bool findInputPort(UINT deviceId, MidiPortBackend** backend, unsigned* index);
bool findOutputPort(UINT deviceId, MidiPortBackend** backend, unsigned* index);

// The smallest header size accepted: the fields up to the driver's private ones.
constexpr UINT kMinHeaderSize = offsetof(MIDIHDR, dwOffset);

// A header every input and output function refuses: none, or one too small.
inline bool badHeader(const MIDIHDR* header, UINT size) {
    return header == nullptr || size < kMinHeaderSize;
}
