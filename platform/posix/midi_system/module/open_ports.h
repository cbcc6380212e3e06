// The open inputs and outputs of the system in use: the ALSA sequencer's through RtMidi, a
// JACK server's through ports of our own (jack_input.h, jack_output.h). Opened and closed on
// the session's worker.
#pragma once

#include <stddef.h>

#include <memory>

#include "platform/posix/midi_system/module/session.h"

struct JackOutput;
struct ModuleInput;
struct ModuleOutput;

// Bytes of the opened input go to the program's device until closeInput. `device` holds it:
// the program gets it back (session.program.released) once every holder has let go, so an
// open that ends after the program stopped waiting for it still delivers to a live device.
MMRESULT openInput(MidiSystemSession& session, unsigned index, const std::shared_ptr<void>& device,
                   ModuleInput** input);
// From any thread: no more bytes go to the device, though the port may stay open.
void stopDelivery(ModuleInput* input);
// Closes the port and lets go of the device.
void closeInput(ModuleInput* input);

MMRESULT openOutput(MidiSystemSession& session, unsigned index, ModuleOutput** output);
void closeOutput(ModuleOutput* output);
// The JACK port of an output (sent to from the caller's thread), or null for ALSA's.
JackOutput* jackOutput(ModuleOutput* output);
// ALSA's output: the message in one piece.
MMRESULT sendToAlsa(ModuleOutput* output, const BYTE* bytes, size_t count);
