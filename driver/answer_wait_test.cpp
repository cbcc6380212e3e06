#include "driver/answer_wait.h"

#include "driver/bulk_wait.h"
#include "driver/kept_sysex.h"
#include "midi/recorder.h"

#include <gtest/gtest.h>

TEST(TimeoutMilliseconds, ScalesAndSaturates) {
    EXPECT_EQ(timeoutMilliseconds(0), 0u);
    EXPECT_EQ(timeoutMilliseconds(5), 5000u);
    EXPECT_EQ(timeoutMilliseconds(2147483), 2147483000u);
    EXPECT_EQ(timeoutMilliseconds(2147484), 2147484000u) << "beyond a signed 32-bit product";
    EXPECT_EQ(timeoutMilliseconds(4294967), 4294967000u);
    EXPECT_EQ(timeoutMilliseconds(4294968), 0xFFFFFFFFu);
    EXPECT_EQ(timeoutMilliseconds(2147483647), 0xFFFFFFFFu);
}

namespace {

// A recorder that is never opened, whose events the test writes itself, naming buffers of
// its own in the process's header pool.
struct FilledRecorder {
    MidiInRecorder recorder;
    RecordedEvent events[4] = {};
    char buffers[2][8] = {};

    FilledRecorder() {
        recorder.events = events;
        for (int i = 0; i < 2; ++i) {
            sysExBuffers[i].lpData = buffers[i];
            sysExBuffers[i].dwBytesRecorded = 0;
        }
    }
    ~FilledRecorder() {
        for (int i = 0; i < 2; ++i) {
            sysExBuffers[i].lpData = nullptr;
            sysExBuffers[i].dwBytesRecorded = 0;
        }
    }
    void addShort(uint8_t status, uint8_t data1) {
        events[recorder.eventCount.load()] = RecordedEvent{1, 0, 0, status, data1, 0};
        recorder.eventCount.fetch_add(1);
    }
    void addSysEx(uint16_t buffer, std::initializer_list<uint8_t> bytes) {
        DWORD n = 0;
        for (uint8_t b : bytes) {
            buffers[buffer][n++] = static_cast<char>(b);
        }
        sysExBuffers[buffer].dwBytesRecorded = n;
        events[recorder.eventCount.load()] = RecordedEvent{
            1, 0, 0, 0xF0, static_cast<uint8_t>(buffer & 0xFF), static_cast<uint8_t>(buffer >> 8)};
        recorder.eventCount.fetch_add(1);
    }
};

}  // namespace

TEST(AwaitAnswer, AnswerAlreadyRecordedIsFoundEvenWithoutWaiting) {
    FilledRecorder filled;
    filled.addShort(0x90, 0xF7);  // an F7 data byte of a short message is no answer
    filled.addSysEx(0, {0xF0, 0x7E, 0x01});
    filled.addSysEx(1, {0x02, 0xF7, 0x00});  // the end may stand anywhere in the buffer
    EXPECT_TRUE(awaitAnswer(filled.recorder, 0));
    EXPECT_TRUE(awaitAnswer(filled.recorder, 1000));
}

TEST(AwaitAnswer, WithoutEndOfSysExTheWaitRunsToTheTimeOut) {
    FilledRecorder filled;
    filled.addShort(0x90, 0xF7);
    filled.addSysEx(0, {0xF0, 0x7E, 0x01});
    EXPECT_FALSE(awaitAnswer(filled.recorder, 0));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(awaitAnswer(filled.recorder, 20));
    EXPECT_GE(GetTickCount() - start, 20u);
}

TEST(IncompleteDumpReason, MessagesTheInputReportsAsFaultyFailAWholeDump) {
    FilledRecorder filled;
    inputErrorCount.fetch_add(1);  // before keeping began: not this dump's
    KeptSysEx kept = startKeeping(filled.recorder, false);
    filled.addSysEx(0, {0xF0, 0x01, 0xF7});
    keepArrived(kept, filled.recorder);
    EXPECT_EQ(incompleteDumpReason(kept, filled.recorder, false), "");
    inputErrorCount.fetch_add(2);
    EXPECT_EQ(incompleteDumpReason(kept, filled.recorder, false),
              "the input reported 2 invalid or incomplete messages");
}
