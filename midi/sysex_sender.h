// Sends one SysEx message to an open MIDI output device as a single long message, then waits
// a few milliseconds while keeping the thread's window-message queue moving.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/windows_api.h"

// Set once the message pump has met WM_QUIT; never cleared, for the whole process.
extern std::atomic<bool> quitSeen;

// An output device handed over by the caller, who opens it with midiOutOpen (CALLBACK_NULL)
// and stores the handle and device number. The destructor closes the device.
struct SysExSender {
    int32_t deviceId = -1;  // -1 while closed
    int32_t waitMs = 1;     // wait after a successful send; 0 or less: no wait
    HMIDIOUT outHandle = nullptr;
    int32_t cancelled = 0;  // set when a wait was cut short; every later send is refused
    // Owned by the caller, who may raise it from another thread; non-zero ends the wait.
    const std::atomic<int32_t>* abortFlag = nullptr;

    SysExSender() = default;
    // One owner per device handle: a copy would close it twice.
    SysExSender(const SysExSender&) = delete;
    SysExSender& operator=(const SysExSender&) = delete;
    ~SysExSender();
};

// Sends length bytes from data as one long message. A length below 1 with data starting at F0
// sends up to and including the first F7 after it (which the caller guarantees exists).
// Returns 1 when the message was handed to the device (also when the wait afterwards was cut
// short), 0 when nothing was sent.
int sendSysEx(SysExSender& sender, const unsigned char* data, int32_t length);

// Closes the device if it is open and returns the sender to its closed state.
void closeSender(SysExSender& sender);

// Dispatches up to 5 waiting messages of the calling thread. False once WM_QUIT has been seen,
// now or earlier (the quit message itself is left in the queue).
bool pumpMessages();
