// Collecting a whole bulk dump: the wait goes on past the first message until the input has
// been quiet for a while after the last complete message.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/windows_api.h"

struct MidiInRecorder;

// Examines the recorded events until a SysEx buffer holding F7 has arrived and no event has
// arrived for idleMs since, or until timeoutMs have passed since the call. Shows progress on a
// terminal while it waits. True when at least one buffer held F7 and the last SysEx buffer
// received ends with F7.
bool awaitQuietAfterAnswer(const MidiInRecorder& recorder, DWORD timeoutMs, DWORD idleMs);

// Every received SysEx byte, in order of arrival.
std::vector<uint8_t> receivedSysExBytes(const MidiInRecorder& recorder);
