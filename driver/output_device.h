// The output device's two steps, each failure reported with its line on standard error: the
// typed message and the messages of a .syx file are sent the same way.
#pragma once

#include <cstdint>
#include <string>

struct SysExSender;

// Opens outDevice for sender; false with "cannot open MIDI output device N" written, and a
// second line when another program holds the device.
bool openOutputDevice(SysExSender& sender, int32_t outDevice);

// Sends length bytes as one long message on sender's open device; false with "sending sysex
// data to MIDI output device N failed" written.
bool sendOnOutputDevice(SysExSender& sender, const uint8_t* bytes, int32_t length);

// "MIDI <direction> device N is in use by another program", for a device that answered
// MMSYSERR_ALLOCATED.
std::string deviceInUseLine(const char* direction, int32_t device);
