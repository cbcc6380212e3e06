#include "driver/output_device.h"

#include <chrono>
#include <string>
#include <thread>

#include "driver/report.h"
#include "midi/sysex_sender.h"
#include "platform/windows_api.h"

bool openOutputDevice(SysExSender& sender, int32_t outDevice) {
    HMIDIOUT handle = nullptr;
    const MMRESULT opened = midiOutOpen(&handle, static_cast<UINT>(outDevice), 0, 0, 0);
    if (opened != MMSYSERR_NOERROR) {
        writeLineToStderr("cannot open MIDI output device " + std::to_string(outDevice) + "\n");
        // The reason on a line of its own, so that the line above stays as it always was.
        if (opened == MMSYSERR_ALLOCATED) {
            writeLineToStderr(deviceInUseLine("output", outDevice));
        }
        return false;
    }
    sender.outHandle = handle;
    sender.deviceId = outDevice;
    return true;
}

FineSleeps::FineSleeps(bool wanted) : fine(wanted && timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineSleeps::~FineSleeps() {
    if (fine) {
        timeEndPeriod(1);
    }
}

bool sendOnOutputDevice(SysExSender& sender, const uint8_t* bytes, int32_t length,
                        const Pace& pace) {
    const std::vector<MessagePart> parts = pacedParts(static_cast<size_t>(length), pace);
    const FineSleeps fineSleeps(parts.size() > 1 && pace.pauseMs > 0);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 && pace.pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pace.pauseMs));
        }
        const MessagePart& part = parts[i];
        if (sendSysEx(sender, bytes + part.offset, static_cast<int32_t>(part.length)) == 0) {
            writeLineToStderr("sending sysex data to MIDI output device " +
                              std::to_string(sender.deviceId) + " failed\n");
            return false;
        }
    }
    return true;
}

std::string deviceInUseLine(const char* direction, int32_t device) {
    return std::string("MIDI ") + direction + " device " + std::to_string(device) +
           " is in use by another program\n";
}
