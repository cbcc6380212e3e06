// Opening, reopening and failing to open the recorder; the callback's guards when called
// directly; and the main thread reading events while the callback thread appends them.
#include <algorithm>
#include <chrono>
#include <thread>

#include "midi/recorder_test_support.h"

namespace {

// Equips the buffer pool through one real opening, as the first opening of a run does.
void equipBuffers(MidiInRecorder& recorder) {
    ASSERT_EQ(openRecorder(recorder), 1);
    closeRecorder(recorder);
    ASSERT_EQ(sysExBufferCount, kSysExBuffersInUse);
}

}  // namespace

TEST_F(RecorderTest, InputModeFourOpensNoDevice) {
    recorder.inputMode = kInputModeNoDevice;
    EXPECT_EQ(openRecorder(recorder), 1);
    EXPECT_EQ(recorder.inHandle, nullptr);
    EXPECT_EQ(activeRecorder.load(), &recorder);
    // The instrument's input is still free for anyone else.
    HMIDIIN other = nullptr;
    ASSERT_EQ(midiInOpen(&other, virtualInstrumentInputId(), 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(other), MMSYSERR_NOERROR);
    closeRecorder(recorder);
    EXPECT_EQ(activeRecorder.load(), nullptr);
}

TEST_F(RecorderTest, AnInputThatDoesNotOpenTouchesNothing) {
    equipBuffers(recorder);
    sysExBuffers[0].dwUser = 77;
    sysExBuffers[kSysExHeaderCount - 1].dwUser = 78;
    recorder.thruDeviceId = static_cast<int32_t>(virtualInstrumentOutputId());
    virtualInstrumentFailNext(VirtualFailPoint::InOpen, MMSYSERR_ALLOCATED);
    EXPECT_EQ(openRecorder(recorder), 0);
    EXPECT_EQ(inputOpenResult, static_cast<MMRESULT>(MMSYSERR_ALLOCATED)) << "kept for its line";
    recorder.deviceId = 9999;
    EXPECT_EQ(openRecorder(recorder), 0);
    EXPECT_EQ(activeRecorder.load(), &recorder) << "set before the device is tried";
    EXPECT_EQ(recorder.inHandle, nullptr);
    EXPECT_EQ(recorder.thruHandle, nullptr);
    EXPECT_EQ(sysExBuffers[0].dwUser, 77u);
    EXPECT_EQ(sysExBuffers[kSysExHeaderCount - 1].dwUser, 78u);
    EXPECT_EQ(sysExBufferCount, kSysExBuffersInUse);
    sysExBuffers[0].dwUser = 0;
    sysExBuffers[kSysExHeaderCount - 1].dwUser = 0;
}

TEST_F(RecorderTest, ReopeningKeepsEventsAndRefillsTheSameBuffers) {
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0xF0, 0x01, 0xF7});
    closeRecorder(recorder);
    std::vector<LPSTR> buffers;
    for (const MIDIHDR& header : sysExBuffers) {
        buffers.push_back(header.lpData);
    }
    ASSERT_EQ(openRecorder(recorder), 1);
    play({0xF0, 0x02, 0xF7});
    const std::vector<RecordedEvent> got = events();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(bufferIndex(got[0]), 0u);
    EXPECT_EQ(bufferIndex(got[1]), 0u) << "the first buffer is queued again";
    EXPECT_EQ(sysExBuffers[0].lpData[1], 0x02);
    for (int32_t i = 0; i < kSysExHeaderCount; ++i) {
        ASSERT_EQ(sysExBuffers[i].lpData, buffers[i]) << "header " << i;
        ASSERT_EQ(sysExBuffers[i].dwBufferLength, i < kSysExBuffersInUse ? 1024u : 0u);
        ASSERT_EQ(sysExBuffers[i].lpData == nullptr, i >= kSysExBuffersInUse) << "header " << i;
    }
    // Every buffer has its 1024 bytes to itself.
    std::vector<LPSTR> starts(buffers.begin(), buffers.begin() + kSysExBuffersInUse);
    std::sort(starts.begin(), starts.end());
    for (size_t i = 1; i < starts.size(); ++i) {
        ASSERT_GE(starts[i] - starts[i - 1], 1024) << "buffers overlap";
    }
}

// Called on this thread with no device open, so the arguments are exactly the test's.
TEST_F(RecorderTest, CallbackStoresOnlyFilledBuffersOfThePool) {
    equipBuffers(recorder);
    recorder.inputMode = kInputModeNoDevice;
    ASSERT_EQ(openRecorder(recorder), 1);
    auto returnBuffer = [](UINT message, MIDIHDR* header, DWORD bytes) {
        header->dwBytesRecorded = bytes;
        recorderCallback(nullptr, message, 0, reinterpret_cast<DWORD_PTR>(header), 1234);
    };

    const uint32_t errorsBefore = inputErrorCount.load();
    returnBuffer(MIM_LONGERROR, &sysExBuffers[7], 5);
    ASSERT_EQ(publishedEventCount(recorder), 1);
    EXPECT_EQ(recorder.events[0].status, 0xF0);
    EXPECT_EQ(bufferIndex(recorder.events[0]), 7u);
    EXPECT_EQ(recorder.events[0].driverTime, 1234u);
    EXPECT_EQ(recorder.byteCount.load(), 5);

    returnBuffer(MIM_LONGDATA, &sysExBuffers[8], 0);  // as handed back by a reset
    returnBuffer(MIM_ERROR, &sysExBuffers[9], 3);
    returnBuffer(MIM_OPEN, &sysExBuffers[9], 3);
    EXPECT_EQ(recorder.byteCount.load(), 5);
    EXPECT_EQ(inputErrorCount.load() - errorsBefore, 2u) << "MIM_LONGERROR and MIM_ERROR are loss";

    // Not a header of the pool, or one without a buffer: counted, never named by an event.
    MIDIHDR foreign{};
    char bytes[4] = {};
    foreign.lpData = bytes;
    returnBuffer(MIM_LONGDATA, &foreign, 4);
    returnBuffer(MIM_LONGDATA, &sysExBuffers[kSysExBuffersInUse], 4);
    sysExBufferCount = 5;  // header 7 is then not in use, though it has a buffer
    returnBuffer(MIM_LONGDATA, &sysExBuffers[7], 2);
    sysExBufferCount = kSysExBuffersInUse;
    EXPECT_EQ(publishedEventCount(recorder), 1);
    EXPECT_EQ(recorder.byteCount.load(), 15);

    recorder.recordSysEx = 0;
    returnBuffer(MIM_LONGDATA, &sysExBuffers[10], 6);
    EXPECT_EQ(recorder.byteCount.load(), 15);

    // Without an event block, or with no recorder active, the callback does nothing at all.
    recorder.eventCapacity = 0;
    recorderCallback(nullptr, MIM_DATA, 0, 0x403C90, 0);
    recorder.eventCapacity = kRecorderEventCapacity;
    closeRecorder(recorder);
    recorderCallback(nullptr, MIM_DATA, 0, 0x403C90, 0);
    EXPECT_EQ(recorder.byteCount.load(), 15);
    EXPECT_EQ(publishedEventCount(recorder), 1);
    sysExBuffers[kSysExBuffersInUse].dwBytesRecorded = 0;
}

// The main thread reads every event as soon as it is published while the callback thread is
// still appending; nothing may be missing, out of order or half written.
TEST_F(RecorderTest, EventsReadWhileRecordingAreComplete) {
    constexpr int32_t kMessages = 20000;
    constexpr int32_t kPerChunk = 8;
    ASSERT_EQ(openRecorder(recorder), 1);
    std::thread player([] {
        for (int32_t first = 0; first < kMessages; first += kPerChunk) {
            std::vector<BYTE> chunk;
            for (int32_t i = first; i < first + kPerChunk; ++i) {
                chunk.insert(chunk.end(),
                             {static_cast<BYTE>(0x90 | (i & 0x0F)), static_cast<BYTE>(i & 0x7F),
                              static_cast<BYTE>(i >> 7 & 0x7F)});
            }
            virtualInstrumentInject(chunk);
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int32_t seen = 0;
    uint32_t lastTime = 0;
    int32_t mismatches = 0;
    while (seen < kMessages && std::chrono::steady_clock::now() < deadline) {
        const int32_t published = publishedEventCount(recorder);
        for (; seen < published; ++seen) {
            const RecordedEvent& event = recorder.events[seen];
            mismatches += event.status != (0x90 | (seen & 0x0F)) || event.data1 != (seen & 0x7F) ||
                          event.data2 != (seen >> 7 & 0x7F) || event.time < lastTime;
            lastTime = event.time;
        }
        std::this_thread::yield();
    }
    player.join();
    EXPECT_TRUE(virtualInstrumentAwaitDelivered(10000));
    EXPECT_EQ(seen, kMessages);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(publishedEventCount(recorder), kMessages);
}
