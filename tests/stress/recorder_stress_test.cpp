// The recorder under load on the virtual instrument: the event list filled at full rate and
// past its end, every SysEx buffer used up, and input still arriving while it is closed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "midi/recorder_test_support.h"
#include "tests/stress/stress_support.h"

namespace {

// Message i of the full-rate stream: mostly note-ons on every channel, some two-byte
// program changes, clocks and active sensing, each played in on its own.
std::vector<BYTE> streamMessage(int32_t i) {
    switch (i % 10) {
        case 7:
            return {static_cast<BYTE>(0xC0 | (i & 0x0F)), static_cast<BYTE>(i & 0x7F)};
        case 8:
            return {0xF8};
        case 9:
            return {0xFE};
        default:
            return {static_cast<BYTE>(0x90 | (i & 0x0F)), static_cast<BYTE>(i & 0x7F),
                    static_cast<BYTE>(i >> 7 & 0x7F)};
    }
}

bool isStored(int32_t i) {
    return i % 10 != 9;  // active sensing is only counted
}

// The event that message i must have become, clockIndex aside.
bool matches(const RecordedEvent& event, int32_t i) {
    const std::vector<BYTE> m = streamMessage(i);
    const BYTE data1 = m.size() > 1 ? m[1] : 0;
    const BYTE data2 = m.size() > 2 ? m[2] : 0;
    return event.status == m[0] && event.data1 == data1 && event.data2 == data2;
}

// The recorder's own fixture: the one process-wide recorder closed and its counters reset
// around each case.
class RecorderStressTest : public RecorderTest {};

}  // namespace

// Short messages played in one by one as fast as the input takes them, while this thread
// reads each event as soon as it is published. The first 65000 stored messages are all
// there, in order and whole; everything after them is dropped without a trace in the list,
// while the counters go on counting it.
TEST_F(RecorderStressTest, FullRateInputFillsTheEventListExactlyAndThenOnlyCounts) {
    constexpr int32_t kMessages = 80000;  // 72000 of them are stored kinds
    const uint32_t firstClockIndex = currentClockIndex.load();
    ASSERT_EQ(openRecorder(recorder), 1);
    std::thread player([] {
        for (int32_t i = 0; i < kMessages; ++i) {
            virtualInstrumentInject(streamMessage(i));
        }
    });

    // Walks the stream alongside the published events.
    int32_t next = 0;  // the next message of the stream to be matched
    uint32_t clockIndex = firstClockIndex;
    int32_t seen = 0;
    int32_t mismatches = 0;
    const auto deadline = stressDeadline(60);
    while (seen < kRecorderEventCapacity && std::chrono::steady_clock::now() < deadline) {
        const int32_t published = publishedEventCount(recorder);
        for (; seen < published; ++seen) {
            while (!isStored(next)) {
                ++next;
            }
            const RecordedEvent& event = recorder.events[seen];
            mismatches += !matches(event, next) || event.clockIndex != clockIndex;
            if (next % 10 == 8) {
                ++clockIndex;  // events after a clock carry the raised index
            }
            ++next;
        }
        std::this_thread::yield();
    }
    player.join();
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(30000));
    EXPECT_EQ(seen, kRecorderEventCapacity);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(publishedEventCount(recorder), kRecorderEventCapacity);

    // SysEx past the end of the list: its bytes are counted, no event names its buffer.
    play({0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7, 0x90, 0x01, 0x02});
    closeRecorder(recorder);
    EXPECT_EQ(publishedEventCount(recorder), kRecorderEventCapacity);
    EXPECT_EQ(recorder.byteCount.load(), 3 * (kMessages / 10 * 9) + 6 + 3);
    EXPECT_EQ(recorder.clockCount.load(), kMessages / 10);
    EXPECT_EQ(recorder.activeSensingCount.load(), kMessages / 10);
    EXPECT_EQ(currentClockIndex.load(), firstClockIndex + kMessages / 10);
}

// SysEx messages of every awkward length, cut into chunks at odd places and mixed with
// notes and clocks (clocks even inside a SysEx), until the 640 buffers are used up and
// beyond. The buffers hold the start of the SysEx byte stream exactly, no buffer is filled
// past its length, the unused headers stay empty, and the notes keep being recorded.
TEST_F(RecorderStressTest, UsingUpEverySysExBufferStoresNoMoreAndWritesNothingOutside) {
    const std::vector<size_t> lengths = {3, 1023, 1024, 1025, 2048, 2049, 100, 7, 5000, 2};
    std::vector<BYTE> input;
    std::vector<BYTE> sysExStream;  // the SysEx bytes alone, in order
    int32_t notes = 0;
    int32_t clocks = 0;
    size_t sysExBytes = 0;
    for (int32_t m = 0; sysExBytes < 640 * 1024 + 20000; ++m) {
        const size_t length = lengths[static_cast<size_t>(m) % lengths.size()];
        for (size_t k = 0; k < length; ++k) {
            const BYTE byte = k == 0 ? 0xF0 : k + 1 == length ? 0xF7 : (m + k) & 0x7F;
            input.push_back(byte);
            sysExStream.push_back(byte);
            if (k == length / 2 && m % 3 == 0) {
                input.push_back(0xF8);  // realtime bytes do not end a SysEx
                ++clocks;
            }
        }
        sysExBytes += length;
        input.insert(input.end(), {0x90, static_cast<BYTE>(m & 0x7F), 0x40});
        ++notes;
    }

    ASSERT_EQ(openRecorder(recorder), 1);
    uint32_t seed = 12345;
    for (size_t at = 0; at < input.size();) {
        const size_t chunk = std::min(input.size() - at, size_t{1} + nextRandom(seed) % 3000);
        virtualInstrumentInject(std::vector<BYTE>(input.begin() + at, input.begin() + at + chunk));
        at += chunk;
    }
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(30000));
    closeRecorder(recorder);

    const std::vector<RecordedEvent> got = events();
    std::vector<BYTE> buffered;
    int32_t sysExEvents = 0;
    int32_t shortEvents = 0;
    int64_t bufferedBytes = 0;
    for (const RecordedEvent& event : got) {
        if (event.status != 0xF0) {
            ++shortEvents;
            continue;
        }
        ASSERT_EQ(bufferIndex(event), static_cast<uint32_t>(sysExEvents)) << "in order";
        const MIDIHDR& header = sysExBuffers[bufferIndex(event)];
        ASSERT_EQ(header.dwBufferLength, kSysExBufferBytes);
        ASSERT_GE(header.dwBytesRecorded, 1u);
        ASSERT_LE(header.dwBytesRecorded, header.dwBufferLength);
        const BYTE last = static_cast<BYTE>(header.lpData[header.dwBytesRecorded - 1]);
        EXPECT_TRUE(last == 0xF7 || header.dwBytesRecorded == kSysExBufferBytes)
            << "buffer " << sysExEvents << " returned neither full nor at an end";
        buffered.insert(buffered.end(), header.lpData, header.lpData + header.dwBytesRecorded);
        bufferedBytes += header.dwBytesRecorded;
        ++sysExEvents;
    }
    EXPECT_EQ(sysExEvents, kSysExBuffersInUse);
    EXPECT_EQ(shortEvents, notes + clocks);
    ASSERT_LE(buffered.size(), sysExStream.size());
    EXPECT_TRUE(std::equal(buffered.begin(), buffered.end(), sysExStream.begin()))
        << "the buffers hold the start of the SysEx stream, nothing else";
    EXPECT_EQ(recorder.byteCount.load(), 3 * (notes + clocks) + bufferedBytes);
    for (int32_t i = kSysExBuffersInUse; i < kSysExHeaderCount; ++i) {
        const MIDIHDR& header = sysExBuffers[i];
        ASSERT_TRUE(header.lpData == nullptr && header.dwBufferLength == 0 &&
                    header.dwBytesRecorded == 0)
            << "header " << i << " was touched";
    }
}

// Notes keep arriving from another thread while this one closes the recorder, over and
// over with different timing. Whatever was stored is whole, and once closeRecorder has
// returned nothing more is stored or counted, though the input goes on.
TEST_F(RecorderStressTest, InputArrivingWhileClosingStopsCleanlyAtTheClose) {
    const auto deadline = stressDeadline(15);
    int32_t rounds = 0;
    for (; rounds < 300 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        recorder.eventCount.store(0);
        recorder.byteCount.store(0);
        ASSERT_EQ(openRecorder(recorder), 1);
        std::atomic<bool> stop{false};
        std::atomic<int32_t> sent{0};
        // Bounded, so that the event list never fills up and every event stays countable.
        constexpr int32_t kMostPerRound = 20000;
        std::thread player([&] {
            for (int32_t i = 0; i < kMostPerRound && !stop.load(); ++i) {
                virtualInstrumentInject({0x90, static_cast<BYTE>(i & 0x7F), 0x40});
                sent.store(i + 1);
            }
        });
        // Close at once, after the first events, or after a few hundred of them.
        const int32_t waitFor = rounds % 3 == 0 ? 0 : rounds % 3 == 1 ? 1 : 300;
        const bool arrived = awaitUntil([&] { return publishedEventCount(recorder) >= waitFor; },
                                        stressDeadline(10));
        closeRecorder(recorder);
        const int32_t countAtClose = publishedEventCount(recorder);
        const int32_t bytesAtClose = recorder.byteCount.load();
        // Let the player go on for a while after the close before stopping it.
        const int32_t sentAtClose = sent.load();
        awaitUntil([&] { return sent.load() >= std::min(sentAtClose + 50, kMostPerRound); },
                   stressDeadline(10));
        stop.store(true);
        player.join();

        ASSERT_TRUE(arrived) << "round " << rounds;
        ASSERT_EQ(publishedEventCount(recorder), countAtClose) << "round " << rounds;
        ASSERT_EQ(recorder.byteCount.load(), bytesAtClose) << "round " << rounds;
        ASSERT_EQ(bytesAtClose, 3 * countAtClose);
        for (int32_t k = 0; k < countAtClose; ++k) {
            const RecordedEvent& event = recorder.events[k];
            ASSERT_TRUE(event.status == 0x90 && event.data1 == (k & 0x7F) && event.data2 == 0x40)
                << "round " << rounds << " event " << k;
        }
    }
    EXPECT_GE(rounds, 20) << "too few rounds in the time allowed to say anything";
}
