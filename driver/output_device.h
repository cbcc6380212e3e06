// The output device's two steps, each failure reported with its line on standard error: the
// typed message and the messages of a .syx file are sent the same way.
#pragma once

#include <cstdint>

struct SysExSender;

// Opens outDevice for sender; false with "cannot open MIDI output device N" written.
bool openOutputDevice(SysExSender& sender, int32_t outDevice);

// Sends length bytes as one long message on sender's open device; false with "sending sysex
// data to MIDI output device N failed" written.
bool sendOnOutputDevice(SysExSender& sender, const uint8_t* bytes, int32_t length);
