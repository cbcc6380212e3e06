// Opening the output on the virtual instrument: the fixed line of a failed open stays first,
// and a device that another program holds says so on a line of its own.
#include "driver/output_device.h"

#include <gtest/gtest.h>

#include <string>

#include "midi/sysex_sender.h"
#include "platform/posix/testing/virtual_instrument_control.h"

namespace {

std::string failedOpenLines(MMRESULT failure) {
    virtualInstrumentResetControl();
    virtualInstrumentFailNext(VirtualFailPoint::OutOpen, failure);
    SysExSender sender;
    testing::internal::CaptureStderr();
    const bool opened = openOutputDevice(sender, virtualInstrumentOutputId());
    std::string lines = testing::internal::GetCapturedStderr();
    virtualInstrumentResetControl();
    EXPECT_FALSE(opened);
    EXPECT_EQ(sender.outHandle, nullptr);
    return lines;
}

}  // namespace

TEST(OpenOutputDevice, AHeldDeviceIsSaidToBeInUseAfterTheFixedLine) {
    const std::string n = std::to_string(virtualInstrumentOutputId());
    EXPECT_EQ(failedOpenLines(MMSYSERR_ALLOCATED), "cannot open MIDI output device " + n +
                                                       "\nMIDI output device " + n +
                                                       " is in use by another program\n");
    EXPECT_EQ(failedOpenLines(MMSYSERR_NOMEM), "cannot open MIDI output device " + n + "\n");
}
