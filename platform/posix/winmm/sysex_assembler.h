// Turns the byte stream of a MIDI input into what an input callback receives: short messages
// packed into one value, and SysEx bytes written into the queued buffer headers.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "platform/posix/winmm/winmm.h"

// One message for the input callback: MIM_DATA with the packed short message, or MIM_LONGDATA
// with the address of a returned buffer header.
struct InputEvent {
    UINT message;
    DWORD_PTR param1;
};

// Parser state between chunks of input. Running status lasts until a system message.
struct SysExAssembler {
    bool inSysEx = false;
    BYTE runningStatus = 0;
    BYTE data[2] = {0, 0};
    int dataCount = 0;
    size_t lostBytes = 0;  // SysEx bytes that came while no header was queued
};

// Number of bytes of a short message starting with this status byte (status included);
// 0 for bytes that cannot start one (data bytes, F0, F7 and the undefined F4, F5, F9, FD).
int shortMessageLength(BYTE status);

// Feeds input bytes. SysEx bytes fill the queue's front header, which is returned (popped,
// marked done, reported as MIM_LONGDATA) once full or holding F7; with no header queued they
// are lost, and counted in state.lostBytes, unless stopWhenNoBuffer: then the feed stops at
// the first byte that needs a header while none is queued. Realtime bytes never interrupt a
// SysEx; any other status byte ends it. Returns the number of bytes taken.
size_t assembleBytes(SysExAssembler& state, std::deque<MIDIHDR*>& queue, const BYTE* bytes,
                     size_t count, std::vector<InputEvent>& out, bool stopWhenNoBuffer = false);

// Returns every queued header (a partly filled one keeps its bytes) and forgets a SysEx in
// progress, as a reset of the input does.
void returnAllBuffers(SysExAssembler& state, std::deque<MIDIHDR*>& queue,
                      std::vector<InputEvent>& out);
