// The seam through which tests reach into the built-in virtual instrument: failures on
// demand, long messages held as still playing, a log of what was received. The program
// installs no hooks, so it holds none of those controls; the tests' side is
// platform/posix/testing/virtual_instrument_control.cpp.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/posix/winmm/midi_ports.h"

// The virtual device operations a hook can make fail.
enum class VirtualFailPoint { OutOpen, InOpen, OutPrepare, OutLongMsg };

// Every hook is optional and is called under the instrument's lock.
struct VirtualInstrumentHooks {
    // A result other than 0 is returned by the operation instead of working.
    MMRESULT (*failure)(VirtualFailPoint point);
    // True when the hook keeps this long message playing; it takes the bytes and finishes
    // the header later, through virtualInstrumentLocked and virtualInstrumentPlayLocked.
    bool (*holdLong)(void* port, MIDIHDR* header, std::vector<BYTE>& bytes);
    // Whether a held header (nullptr: any) of this output still plays.
    bool (*stillPlaying)(void* port, const MIDIHDR* header);
    // Sees each long message played, after its answer went out.
    void (*receivedLong)(const std::vector<BYTE>& bytes);
    // Sees each short message; false keeps it from being echoed on the input.
    bool (*receivedShort)(const BYTE* bytes, size_t count);
};

// Installs hooks that stay valid until replaced (nullptr: none, as in the program).
void setVirtualInstrumentHooks(const VirtualInstrumentHooks* hooks);
// Runs `step` under the instrument's lock with its open input (empty when none is open).
void virtualInstrumentLocked(const std::function<void(const std::shared_ptr<MidiInDevice>&)>& step);
// Under that lock: answers a held long message as if it had just been played.
void virtualInstrumentPlayLocked(std::vector<BYTE> bytes);
// Drops a bulk dump in progress and waits for its thread (the tests start afresh).
void virtualInstrumentStopDump();
