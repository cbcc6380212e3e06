// For tests only: drives the built-in virtual instrument from the instrument's side of the
// cable and looks at what reached it, through the instrument's hooks.
#pragma once

#include <vector>

#include "platform/posix/winmm/virtual_instrument_hooks.h"

// A hold that lasts until virtualInstrumentReleaseHeld.
constexpr DWORD kHoldUntilReleased = 0xFFFFFFFF;

// The instrument's device numbers (-1 when missing). It comes after every real port, so it
// is found by its name.
int virtualInstrumentInputId();
int virtualInstrumentOutputId();
// Sends bytes (any mix of messages) to the virtual input; lost unless it is open and started.
void virtualInstrumentInject(const std::vector<BYTE>& bytes);
// True once all input sent to the virtual input so far has been delivered (or dropped).
bool virtualInstrumentAwaitDelivered(DWORD timeoutMs);
// The next such operation on a virtual device returns `result` (not 0) instead of working.
void virtualInstrumentFailNext(VirtualFailPoint point, MMRESULT result);
// The next long message stays in the queue (still playing) for ms milliseconds.
void virtualInstrumentHoldNextLongMessage(DWORD ms);
// Finishes a held long message now; it is then answered like any other.
void virtualInstrumentReleaseHeld();
// Long messages received on the virtual output, oldest first.
std::vector<std::vector<BYTE>> virtualInstrumentLongMessages();
// Short messages received, one per successful midiOutShortMsg call on the virtual output.
std::vector<DWORD> virtualInstrumentShortMessages();
// Whether received short messages are sent back on the input (on by default).
void virtualInstrumentEchoShortMessages(bool on);
// Back to the start: nothing received, no failure or hold pending, echo on. Received messages
// are logged once the first control call has put the hooks in (the program has none).
void virtualInstrumentResetControl();
