// A JACK MIDI output of our own (inside the MIDI system module). The sender queues each message
// in a lock-free ring buffer in parts of at most kJackPartBytes, each a MIDI event of its own
// (a SysEx message may span several events, and receivers join them); JACK's process thread
// moves into each cycle's port buffer the parts that fit there and leaves the rest for the
// next cycle, so nothing is dropped however long the period, and takes nothing before the
// port's connection is in effect. Nothing on the process thread locks or allocates.
#pragma once

#include <stddef.h>

#include <chrono>
#include <string>

#include "platform/posix/winmm/winmm.h"

struct JackOutput;

constexpr size_t kJackPartBytes = 4096;

// A client named `clientName` with one port "out" connected to `destination`. Null on failure.
JackOutput* openJackOutput(const char* clientName, const std::string& destination);
// Queues the bytes and waits until the process thread has taken them all; each wait for room
// or for the process thread is bounded by `bound`. False when a part could not go in that time
// (the server stopped, or went away) or did not fit even an empty port buffer.
bool sendJackOutput(JackOutput* output, const BYTE* bytes, size_t count,
                    std::chrono::milliseconds bound);
// Waits, bounded, until the cycle that took the last bytes has ended everywhere, so that they
// reach the destination; then the output may be closed.
void finishJackOutput(JackOutput* output, std::chrono::milliseconds bound);
void closeJackOutput(JackOutput* output);
