// A JACK MIDI input of our own (inside the MIDI system module): JACK's process thread copies
// each cycle's events into a lock-free ring buffer and wakes a forwarding thread, which hands
// the bytes on. Nothing on the process thread locks or allocates.
#pragma once

#include <stddef.h>

#include <string>

#include "platform/posix/winmm/winmm.h"

struct JackInput;
typedef void (*JackBytesForward)(void* context, const BYTE* bytes, size_t count);
typedef void (*JackBytesLost)(void* context, size_t count);

// Room for several cycles of dense SysEx while the forwarding thread is late.
constexpr size_t kJackInputRingBytes = 1 << 20;

// A client named `clientName` with one port "in" connected from `source`; its bytes go to
// `forward` with `context` on the forwarding thread until closeJackInput. A SysEx event that
// finds no room in the ring is dropped whole, and its size goes to `lost` on the same thread.
// Null on failure.
JackInput* openJackInput(const char* clientName, const std::string& source,
                         JackBytesForward forward, JackBytesLost lost, void* context,
                         size_t ringBytes = kJackInputRingBytes);
// Stops the client, forwards what is left and ends the thread.
void closeJackInput(JackInput* input);
