// The output device's two steps, each failure reported with its line on standard error: the
// typed message and the messages of a .syx file are sent the same way, whole or paced.
#pragma once

#include <cstdint>
#include <string>

#include "driver/paced_parts.h"

struct SysExSender;

// Opens outDevice for sender; false with "cannot open MIDI output device N" written, and a
// second line when another program holds the device.
bool openOutputDevice(SysExSender& sender, int32_t outDevice);

// Sends one whole message of length bytes on sender's open device: as one long message, or
// with pace.partBytes set as consecutive long messages of at most that many bytes with
// pace.pauseMs after each but the last, which the receiver takes as the one message. False
// with "sending sysex data to MIDI output device N failed" written.
bool sendOnOutputDevice(SysExSender& sender, const uint8_t* bytes, int32_t length,
                        const Pace& pace);

// While one lives, the program's sleeps last the milliseconds asked for: Windows otherwise
// rounds each up to its timer tick of 15.6 ms, which would stretch a pace's pauses and shift
// the times of a MIDI file's messages.
struct FineSleeps {
    explicit FineSleeps(bool wanted);
    ~FineSleeps();
    FineSleeps(const FineSleeps&) = delete;
    FineSleeps& operator=(const FineSleeps&) = delete;
    bool fine;  // whether it was asked for and taken (it is given back only then)
};

// "MIDI <direction> device N is in use by another program", for a device that answered
// MMSYSERR_ALLOCATED.
std::string deviceInUseLine(const char* direction, int32_t device);
