// The boundary between the program and the module that reaches the machine's MIDI system
// (RtMidi over the ALSA sequencer or JACK). The module is loaded only once a cheap look has
// found such a system: loading RtMidi, JACK, ALSA and the shared C++ runtime they need takes
// longer than a whole exchange with the built-in instrument. The program may carry a C++
// runtime of its own, so only plain C types cross.
#pragma once

#include <stddef.h>

#include "platform/posix/winmm/winmm.h"

extern "C" {

// What the program gives the module. Each may be called from any thread of the module.
struct MidiSystemProgram {
    // Hands bytes that arrived on an open input to the program's device.
    void (*arrived)(void* device, const BYTE* bytes, size_t count);
    // SysEx bytes that arrived on an open input but could not be handed on (no room for them
    // while the program was late): counted by the device as input lost.
    void (*lost)(void* device, size_t count);
    // The module will not touch the device again: called once for every device given to
    // openInput, whatever its result, once the port is closed or was never opened. An open or
    // close that the module gave up on (the system did not answer) may still use the device
    // on the module's thread until then.
    void (*released)(void* device);
    // A line for the user (no line end): that the system did not answer, went away or cannot
    // be opened. The module writes to no stream itself.
    void (*report)(const char* line);
};

// The system's ports, numbered from 0; the same calls as the program's port backends make.
// None of them throws; a call the module has no memory or threads for gives MMSYSERR_NOMEM
// (0 ports, an empty name).
struct MidiSystemPorts {
    unsigned (*inputCount)(void);
    unsigned (*outputCount)(void);
    // Copies as much of the port's name as fits with its terminator ("" for an unknown port).
    void (*inputName)(unsigned index, char* name, size_t size);
    void (*outputName)(unsigned index, char* name, size_t size);
    // Bytes of the opened port go to `arrived` with `device` until closeInput returns; the
    // device is given back through `released`.
    MMRESULT (*openInput)(unsigned index, void* device, void** port);
    void (*closeInput)(void* port);
    MMRESULT (*openOutput)(unsigned index, void** port);
    void (*closeOutput)(void* port);
    MMRESULT (*sendShort)(void* port, const BYTE* bytes, size_t count);
    // Sends the header's buffer; done on return.
    MMRESULT (*sendLong)(void* port, const MIDIHDR* header);
};

// The module's one entry point, found by this name. Null when the module cannot start.
#define MIDI_SYSTEM_PORTS_ENTRY "midiSystemPorts"
typedef const MidiSystemPorts* (*MidiSystemPortsEntry)(const MidiSystemProgram* program);

}  // extern "C"

// The module's file name, looked for beside the program and then in
// ../lib/midiparley/ from it.
#define MIDI_SYSTEM_MODULE_NAME "midiparley-midi.so"

// Cheap looks at the machine, made before the module is loaded and again by the module before
// it asks a library: whether the ALSA sequencer's device is there (whether or not this user
// may open it), and whether a JACK server's socket is there.
#define kAlsaSequencerDevice "/dev/snd/seq"
bool alsaSequencerDeviceExists();
bool jackServerSocketExists();
