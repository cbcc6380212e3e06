// The recorder on the virtual instrument: input is played in as a device would send it and
// reaches the recorder on the input's own callback thread.
#include <chrono>
#include <thread>

#include "midi/recorder_test_support.h"

namespace {

std::vector<BYTE> sysEx(size_t dataBytes) {
    std::vector<BYTE> bytes = {0xF0};
    for (size_t i = 0; i < dataBytes; ++i) {
        bytes.push_back(static_cast<BYTE>(i % 0x80));
    }
    bytes.push_back(0xF7);
    return bytes;
}

std::vector<BYTE> bufferBytes(uint32_t index) {
    const MIDIHDR& header = sysExBuffers[index];
    return std::vector<BYTE>(header.lpData, header.lpData + header.dwBytesRecorded);
}

}  // namespace

TEST_F(RecorderTest, LongSysExFillsConsecutiveBuffersAndTheResetAddsNothing) {
    ASSERT_EQ(openRecorder(recorder), 1);
    const std::vector<BYTE> message = sysEx(2 * 1024 + 500);
    play(message);
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), 3u);
    std::vector<BYTE> joined;
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].status, 0xF0);
        EXPECT_EQ(bufferIndex(got[i]), i);
        const std::vector<BYTE> part = bufferBytes(bufferIndex(got[i]));
        EXPECT_EQ(part.back() == 0xF7, i == 2) << "buffer " << i;
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, message);
    EXPECT_EQ(recorder.byteCount.load(), static_cast<int32_t>(message.size()));

    // Closing hands the 637 untouched buffers back empty.
    closeRecorder(recorder);
    EXPECT_EQ(publishedEventCount(recorder), 3);
    EXPECT_EQ(recorder.byteCount.load(), static_cast<int32_t>(message.size()));
    EXPECT_EQ(activeRecorder.load(), nullptr);
}

TEST_F(RecorderTest, AfterAllBuffersAreFilledFurtherSysExIsLost) {
    ASSERT_EQ(openRecorder(recorder), 1);
    std::vector<BYTE> input;
    for (int i = 0; i < kSysExBuffersInUse + 5; ++i) {
        input.insert(input.end(), {0xF0, 0x01, 0xF7});
    }
    play(input);
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), static_cast<size_t>(kSysExBuffersInUse));
    EXPECT_EQ(got[299].data1, 299 & 0xFF);
    EXPECT_EQ(got[299].data2, 1);
    EXPECT_EQ(bufferIndex(got.back()), 639u);
    EXPECT_EQ(recorder.byteCount.load(), 3 * kSysExBuffersInUse);
}

TEST_F(RecorderTest, BuffersGivenBackCarryInputBeyondThePool) {
    ASSERT_EQ(openRecorder(recorder), 1);
    const uint32_t lostBefore = lostSysExBytes;
    // Three times as many messages as buffers, in one piece: the input waits for the buffers
    // that this thread, not the input's own, gives back once it has copied them.
    std::vector<BYTE> input;
    for (int i = 0; i < 3 * kSysExBuffersInUse; ++i) {
        input.insert(input.end(), {0xF0, static_cast<BYTE>(i & 0x7F), 0xF7});
    }
    virtualInstrumentInject(input);
    std::vector<BYTE> kept;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int32_t seen = 0; kept.size() < input.size();) {
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << kept.size() << " bytes came";
        for (const int32_t count = publishedEventCount(recorder); seen < count; ++seen) {
            const RecordedEvent& event = recorder.events[seen];
            ASSERT_LT(bufferIndex(event), static_cast<uint32_t>(kSysExBuffersInUse));
            const std::vector<BYTE> part = bufferBytes(bufferIndex(event));
            kept.insert(kept.end(), part.begin(), part.end());
            ASSERT_TRUE(requeueSysExBuffer(recorder, event));
        }
        std::this_thread::yield();
    }
    EXPECT_EQ(kept, input);
    closeRecorder(recorder);
    EXPECT_EQ(lostSysExBytes, lostBefore);
    EXPECT_FALSE(requeueSysExBuffer(recorder, recorder.events[0])) << "no input is open";
}

TEST_F(RecorderTest, ClocksAreStoredAndTimedWhileOtherShortMessagesAreNot) {
    recorder.recordShortMessages = 0;
    const uint32_t clockIndex = currentClockIndex.load();
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0x90, 0x3C, 0x40, 0xFE, 0xF8});
    EXPECT_EQ(recorder.msPerQuarter.load(), 0u) << "the first clock has no interval";
    EXPECT_EQ(recorder.clocksPerQuarter.load(), 24);
    // A deliberate gap between two clocks, not a wait for anything.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    play({0xF8, 0xFE});
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), 2u);
    for (const RecordedEvent& event : got) {
        EXPECT_EQ(event.status, 0xF8);
        EXPECT_EQ(event.data1, 0);
        EXPECT_EQ(event.data2, 0);
    }
    EXPECT_EQ(got[0].clockIndex, clockIndex);
    EXPECT_EQ(got[1].clockIndex, clockIndex + 1);
    ASSERT_GT(got[1].time, got[0].time);
    EXPECT_EQ(recorder.msPerQuarter.load(), (got[1].time - got[0].time) * 24);
    EXPECT_EQ(recorder.clockCount.load(), 2);
    EXPECT_EQ(recorder.activeSensingCount.load(), 2);
    EXPECT_EQ(currentClockIndex.load(), clockIndex + 2);
    EXPECT_EQ(lastClockTime.load(), got[1].time);
    EXPECT_EQ(recorder.byteCount.load(), 6) << "only stored messages are counted";

    // A clock in the same millisecond as the one before gives no interval. Retried until two
    // clocks share a millisecond; the interval before it is not zero.
    bool sameMillisecond = false;
    for (int attempt = 0; attempt < 50 && !sameMillisecond; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        play({0xF8, 0xF8});
        const std::vector<RecordedEvent> now = events();
        const RecordedEvent& last = now.back();
        sameMillisecond = last.time == now[now.size() - 2].time;
        if (sameMillisecond) {
            EXPECT_EQ(recorder.msPerQuarter.load(), 0u);
        }
    }
    EXPECT_TRUE(sameMillisecond);

    // A clock earlier than the one before (the clock wrapped): no interval either.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    play({0xF8});
    ASSERT_NE(recorder.msPerQuarter.load(), 0u);
    lastClockTime.store(0xFFFFFFF0u);
    play({0xF8});
    EXPECT_EQ(recorder.msPerQuarter.load(), 0u);

    // Closing forgets that a clock arrived: the first clock of the next opening has no interval.
    closeRecorder(recorder);
    EXPECT_EQ(recorder.clocksPerQuarter.load(), 0);
    ASSERT_EQ(openRecorder(recorder), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    play({0xF8});
    EXPECT_EQ(recorder.msPerQuarter.load(), 0u);
}

TEST_F(RecorderTest, EventsCarryTheClockIndexFromBeforeTheirArrival) {
    const uint32_t clockIndex = currentClockIndex.load();
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0x90, 0x3C, 0x40, 0xF8, 0x80, 0x3C, 0x00});
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].clockIndex, clockIndex);
    EXPECT_EQ(got[1].clockIndex, clockIndex);
    EXPECT_EQ(got[2].clockIndex, clockIndex + 1);
    EXPECT_EQ(got[2].status, 0x80);
    EXPECT_EQ(got[2].data1, 0x3C);
    EXPECT_EQ(got[0].data2, 0x40);
    EXPECT_LE(got[0].driverTime, got[2].driverTime);
}

TEST_F(RecorderTest, ChannelFilterDropsOtherChannelsButNotSystemMessages) {
    recorder.channelFilter = 3;
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0x93, 0x3C, 0x40, 0x95, 0x3C, 0x40, 0xF2, 0x01, 0x02, 0xB3, 0x07, 0x64});
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].status, 0x93);
    EXPECT_EQ(got[1].status, 0xF2);
    EXPECT_EQ(got[1].data1, 0x01);
    EXPECT_EQ(got[1].data2, 0x02);
    EXPECT_EQ(got[2].status, 0xB3);
    EXPECT_EQ(recorder.byteCount.load(), 9);
}

TEST_F(RecorderTest, ThruForwardsEveryShortMessageBeforeFiltering) {
    recorder.channelFilter = 3;
    recorder.recordShortMessages = 0;
    recorder.thruDeviceId = static_cast<int32_t>(virtualInstrumentOutputId());
    ASSERT_EQ(openRecorder(recorder), 1);
    ASSERT_NE(recorder.thruHandle, nullptr);
    play({0x95, 0x3C, 0x40, 0xF8, 0xFE, 0xF0, 0x01, 0xF7, 0x93, 0x3C, 0x00});
    const std::vector<DWORD> expected = {0x403C95, 0xF8, 0xFE, 0x003C93};
    EXPECT_EQ(virtualInstrumentShortMessages(), expected);
    EXPECT_EQ(publishedEventCount(recorder), 2) << "the clock and the SysEx buffer";
    closeRecorder(recorder);
    EXPECT_EQ(recorder.thruHandle, nullptr);

    // A thru device that does not open leaves recording without thru.
    virtualInstrumentResetControl();
    virtualInstrumentEchoShortMessages(false);
    virtualInstrumentFailNext(VirtualFailPoint::OutOpen, MMSYSERR_ALLOCATED);
    ASSERT_EQ(openRecorder(recorder), 1);
    EXPECT_EQ(recorder.thruHandle, nullptr);
    play({0xF8});
    EXPECT_TRUE(virtualInstrumentShortMessages().empty());
    EXPECT_EQ(publishedEventCount(recorder), 3);
}

TEST_F(RecorderTest, AFullEventListDropsEventsButKeepsCounting) {
    recorder.thruDeviceId = static_cast<int32_t>(virtualInstrumentOutputId());
    recorder.eventCount.store(kRecorderEventCapacity);
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0x90, 0x3C, 0x40, 0xF8, 0xF0, 0x01, 0x02, 0xF7});
    EXPECT_EQ(publishedEventCount(recorder), kRecorderEventCapacity);
    EXPECT_EQ(recorder.byteCount.load(), 3 + 3 + 4);
    EXPECT_EQ(recorder.clockCount.load(), 1);
    EXPECT_EQ(virtualInstrumentShortMessages().size(), 2u);
    closeRecorder(recorder);

    // Past the capacity (only set from outside) the callback ignores the input entirely.
    recorder.eventCount.store(kRecorderEventCapacity + 1);
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0x90, 0x3C, 0x40, 0xF8});
    EXPECT_EQ(recorder.byteCount.load(), 10);
    EXPECT_EQ(recorder.clockCount.load(), 1);
    EXPECT_EQ(virtualInstrumentShortMessages().size(), 2u);
}

TEST_F(RecorderTest, TheEventListFillsUpForReal) {
    ASSERT_EQ(openRecorder(recorder), 1);
    std::vector<BYTE> input;
    for (int32_t i = 0; i <= kRecorderEventCapacity; ++i) {
        input.insert(input.end(), {static_cast<BYTE>(0x90 | (i & 0x0F)),
                                   static_cast<BYTE>(i & 0x7F), static_cast<BYTE>(i >> 7 & 0x7F)});
    }
    play(input);
    ASSERT_EQ(publishedEventCount(recorder), kRecorderEventCapacity);
    const RecordedEvent& last = recorder.events[kRecorderEventCapacity - 1];
    const int32_t n = kRecorderEventCapacity - 1;
    EXPECT_EQ(last.status, 0x90 | (n & 0x0F));
    EXPECT_EQ(last.data1, n & 0x7F);
    EXPECT_EQ(last.data2, n >> 7 & 0x7F);
    EXPECT_EQ(recorder.byteCount.load(), 3 * (kRecorderEventCapacity + 1));
}

TEST(RecordedSysExBuffer, AnIndexBeyondTheHeadersNamesAnEmptyBuffer) {
    RecordedEvent event{};
    event.status = 0xF0;
    event.data1 = 0xFF;
    event.data2 = 0xFF;  // 65535, past the 5000 headers
    EXPECT_EQ(recordedSysExBuffer(event).lpData, nullptr);
    EXPECT_EQ(recordedSysExBuffer(event).dwBytesRecorded, 0u);
}
