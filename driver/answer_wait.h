// Waiting for the instrument's answer: a recorded SysEx buffer that holds F7.
#pragma once

#include <cstdint>

#include "platform/windows_api.h"

struct MidiInRecorder;
struct RecordedEvent;

// Whether event names a recorded SysEx buffer that holds F7.
bool holdsEndOfSysEx(const RecordedEvent& event);

// The time-out in milliseconds, saturated at the largest tick difference.
DWORD timeoutMilliseconds(int32_t timeoutSeconds);

// Examines the recorded events in order of arrival until one names a SysEx buffer holding F7
// (true) or timeoutMs have passed since the call; busy-polls without sleeping. Events that
// arrived before the time-out are all examined, also with a time-out of 0. The elapsed time
// is an unsigned 32-bit difference of tick counts, so the tick counter's wrap does not cut
// the wait short or stretch it.
bool awaitAnswer(const MidiInRecorder& recorder, DWORD timeoutMs);
