// Shared by the recorder tests: a fixture that puts the one process-wide recorder back into a known
// closed state around each test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "midi/recorder.h"
#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/windows_api.h"

class RecorderTest : public ::testing::Test {
  protected:
    MidiInRecorder& recorder = theRecorder();

    void SetUp() override {
        virtualInstrumentResetControl();
        // Thru goes to the same instrument, which must not play it back into the input.
        virtualInstrumentEchoShortMessages(false);
        closeRecorder(recorder);
        recorder.deviceId = static_cast<int32_t>(virtualInstrumentInputId());
        recorder.channelFilter = -1;
        recorder.eventCount.store(0);
        recorder.eventCapacity = recorder.events != nullptr ? kRecorderEventCapacity : 0;
        recorder.inputMode = 1;
        recorder.recordSysEx = 1;
        recorder.recordShortMessages = 1;
        recorder.clockCount.store(0);
        recorder.activeSensingCount.store(0);
        recorder.msPerQuarter.store(0);
        recorder.thruDeviceId = -1;
        recorder.byteCount.store(0);
    }

    void TearDown() override {
        closeRecorder(recorder);
        virtualInstrumentResetControl();
    }

    // Plays bytes into the open input and waits until the callback has seen all of them.
    static void play(const std::vector<BYTE>& bytes) {
        virtualInstrumentInject(bytes);
        ASSERT_TRUE(virtualInstrumentAwaitDelivered(10000));
    }

    std::vector<RecordedEvent> events() const {
        const int32_t count = publishedEventCount(recorder);
        return std::vector<RecordedEvent>(recorder.events, recorder.events + count);
    }

    static uint32_t bufferIndex(const RecordedEvent& event) {
        return event.data1 + 256u * event.data2;
    }
};
