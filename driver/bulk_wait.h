// Collecting a whole bulk dump: the wait goes on past the first message until the input has
// been quiet for a while after the last complete message, keeping every buffer as it comes.
#pragma once

#include <string>

#include "platform/windows_api.h"

struct KeptSysEx;
struct MidiInRecorder;

// Keeps the arriving SysEx buffers until one holding F7 has arrived and none has arrived for
// idleMs since (with idleMs 0 the first buffer holding F7 ends the wait), or until timeoutMs
// have passed since the call. Shows progress on a terminal while it waits. True when the
// time-out ended the wait while input was still arriving: a buffer came within idleMs of it.
bool awaitDump(MidiInRecorder& recorder, KeptSysEx& kept, DWORD timeoutMs, DWORD idleMs);

// After closeRecorder, with everything kept: why the dump is not whole, worded for an error
// line; empty when it is whole.
std::string incompleteDumpReason(const KeptSysEx& kept, const MidiInRecorder& recorder,
                                 bool cutByTimeout);
