#include "driver/output_device.h"

#include <string>

#include "driver/report.h"
#include "midi/sysex_sender.h"
#include "platform/windows_api.h"

bool openOutputDevice(SysExSender& sender, int32_t outDevice) {
    HMIDIOUT handle = nullptr;
    if (midiOutOpen(&handle, static_cast<UINT>(outDevice), 0, 0, 0) != MMSYSERR_NOERROR) {
        writeLineToStderr("cannot open MIDI output device " + std::to_string(outDevice) + "\n");
        return false;
    }
    sender.outHandle = handle;
    sender.deviceId = outDevice;
    return true;
}

bool sendOnOutputDevice(SysExSender& sender, const uint8_t* bytes, int32_t length) {
    if (sendSysEx(sender, bytes, length) != 0) {
        return true;
    }
    writeLineToStderr("sending sysex data to MIDI output device " +
                      std::to_string(sender.deviceId) + " failed\n");
    return false;
}
