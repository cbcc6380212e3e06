// A JACK MIDI input of our own (inside the MIDI system module): JACK's process thread copies
// each cycle's events into a lock-free ring buffer and wakes a forwarding thread, which hands
// the bytes on. Nothing on the process thread locks or allocates.
#pragma once

#include <stddef.h>

#include <string>

#include "platform/posix/winmm/winmm.h"

struct JackInput;
typedef void (*JackBytesForward)(void* context, const BYTE* bytes, size_t count);

// A client named `clientName` with one port "in" connected from `source`; its bytes go to
// `forward` with `context` on the forwarding thread until closeJackInput. Null on failure.
JackInput* openJackInput(const char* clientName, const std::string& source,
                         JackBytesForward forward, void* context);
// Stops the client, forwards what is left and ends the thread.
void closeJackInput(JackInput* input);
