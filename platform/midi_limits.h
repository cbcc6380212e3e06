// What the system's MIDI services hold to without a function of their own to say so: the
// longest long message they carry, and the SysEx input they drop for want of a buffer.
#pragma once

#include <cstdint>

#include "platform/windows_api.h"

// The longest long message (midiOutLongMsg) the system carries, in bytes: 65,535 for
// Windows' drivers; here the sender's 32-bit signed lengths.
uint32_t longestLongMessage();

// SysEx bytes the open input received while no buffer was queued. Windows drops them without
// a word, so 0 there. Saturates at 0xFFFFFFFF; 0 for an unknown handle.
uint32_t sysExBytesDroppedBy(HMIDIIN input);
