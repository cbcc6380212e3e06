// MIDI input through the virtual instrument: what the callback receives, and when.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/posix/realtime_priority.h"
#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/posix/winmm/instrument_answers.h"

namespace {

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Address space cut to just above what the process uses, so that no thread stack fits; in a
// process of its own (the test re-runs the executable).
TEST(VirtualInputThread, ThatCannotStartLeavesTheDeviceFree) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto openWithoutRoom = [] {
        const UINT device = static_cast<UINT>(virtualInstrumentInputId());
        unsigned long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) {
            std::exit(2);
        }
        std::fclose(statm);
        rlimit original{};
        getrlimit(RLIMIT_AS, &original);
        rlimit tight = original;
        tight.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (4 << 20);
        setrlimit(RLIMIT_AS, &tight);
        HMIDIIN handle = nullptr;
        MMRESULT refused = midiInOpen(&handle, device, 0, 0, CALLBACK_NULL);
        setrlimit(RLIMIT_AS, &original);
        MMRESULT opened = midiInOpen(&handle, device, 0, 0, CALLBACK_NULL);
        std::exit(refused == MMSYSERR_NOMEM && opened == MMSYSERR_NOERROR ? 0 : 1);
    };
    EXPECT_EXIT(openWithoutRoom(), testing::ExitedWithCode(0), "");
}
#endif

class VirtualInput : public testing::Test {
  protected:
    void SetUp() override {
        virtualInstrumentResetControl();
        inDevice_ = virtualInstrumentInputId();
        outDevice_ = virtualInstrumentOutputId();
        ASSERT_GE(inDevice_, 0);
        ASSERT_GE(outDevice_, 0);
    }

    void TearDown() override {
        input_.close();
        if (out_ != nullptr) {
            EXPECT_EQ(midiOutClose(out_), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        }
        virtualInstrumentResetControl();
    }

    void openStarted(size_t buffers, DWORD size) {
        ASSERT_EQ(input_.open(inDevice_, recorder_, buffers, size), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInStart(input_.handle), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutOpen(&out_, outDevice_, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    }

    int inDevice_ = -1;
    int outDevice_ = -1;
    InputRecorder recorder_;
    OpenInput input_;
    HMIDIOUT out_ = nullptr;
};

TEST_F(VirtualInput, OpenAndCloseAreAnnouncedOnOneDeliveryThreadAndNothingFollowsClose) {
    openStarted(2, 64);
    ASSERT_EQ(recorder_.events().size(), 1u);  // before midiInOpen returned
    EXPECT_EQ(recorder_.events()[0].message, static_cast<UINT>(MIM_OPEN));
    virtualInstrumentInject({0x90, 0x3C, 0x64, 0xF0, 0x01, 0xF7});
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    input_.close();
    std::vector<ReceivedEvent> events = recorder_.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().message, static_cast<UINT>(MIM_CLOSE));
    for (const ReceivedEvent& event : events) {
        EXPECT_EQ(event.thread, events.front().thread);
    }
    EXPECT_NE(events.front().thread, std::this_thread::get_id());
    // Closed: the instrument's input goes nowhere.
    virtualInstrumentInject({0x90, 0x3C, 0x64});
    EXPECT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_EQ(recorder_.events().size(), events.size());
}

TEST_F(VirtualInput, DeviceInquiryIsAnsweredWithIdentityReplyInOneBuffer) {
    openStarted(4, 1024);
    for (BYTE id : {0x00, 0x7F}) {
        recorder_.clear();
        ASSERT_EQ(sendLong(out_, {0xF0, 0x7E, id, 0x06, 0x01, 0xF7}), MMSYSERR_NOERROR);
        ASSERT_TRUE(recorder_.awaitSysExEnd(1));
        std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
        ASSERT_EQ(buffers.size(), 1u);
        EXPECT_EQ(buffers[0].bytes, identityReply());
        EXPECT_EQ(buffers[0].flags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED),
                  static_cast<DWORD>(MHDR_DONE | MHDR_PREPARED));
    }
    EXPECT_EQ(recorder_.ofType(MIM_LONGDATA)[0].param1,
              reinterpret_cast<DWORD_PTR>(&input_.headers[1]));
}

TEST_F(VirtualInput, DumpOf3000BytesFillsThreeBuffersInQueueOrder) {
    openStarted(4, 1024);
    ASSERT_EQ(sendLong(out_, {0xF0, 0x7D, 0x01, 0x17, 0x34, 0xF7}), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
    ASSERT_EQ(buffers.size(), 3u);
    std::vector<BYTE> joined;
    const size_t sizes[] = {1024, 1024, 952};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers[i].param1, reinterpret_cast<DWORD_PTR>(&input_.headers[i]));
        EXPECT_EQ(buffers[i].bytes.size(), sizes[i]);
        EXPECT_EQ(buffers[i].bytes.back() == 0xF7, i == 2);
        joined.insert(joined.end(), buffers[i].bytes.begin(), buffers[i].bytes.end());
    }
    ASSERT_EQ(joined.size(), 3000u);
    EXPECT_EQ(std::vector<BYTE>(joined.begin(), joined.begin() + 3),
              (std::vector<BYTE>{0xF0, 0x7D, 0x02}));
    for (size_t i = 0; i < 2996; ++i) {
        ASSERT_EQ(joined[3 + i], i & 0x7F) << "data byte " << i;
    }
}

TEST_F(VirtualInput, ResetReturnsEveryQueuedBufferBeforeItReturns) {
    recorder_.slowBuffers = std::chrono::milliseconds(10);
    openStarted(4, 16);
    virtualInstrumentInject({0xF0, 0x01, 0x02, 0x03});
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_TRUE(recorder_.ofType(MIM_LONGDATA).empty());
    ASSERT_EQ(midiInReset(input_.handle), MMSYSERR_NOERROR);
    std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
    ASSERT_EQ(buffers.size(), 4u);
    EXPECT_EQ(buffers[0].bytes, (std::vector<BYTE>{0xF0, 0x01, 0x02, 0x03}));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buffers[i].param1, reinterpret_cast<DWORD_PTR>(&input_.headers[i]));
        EXPECT_EQ(buffers[i].flags & (MHDR_DONE | MHDR_INQUEUE), static_cast<DWORD>(MHDR_DONE));
        if (i > 0) {
            EXPECT_TRUE(buffers[i].bytes.empty());
        }
    }
    // Reset also stopped the input.
    virtualInstrumentInject({0x90, 0x3C, 0x64});
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_TRUE(recorder_.ofType(MIM_DATA).empty());
}

TEST_F(VirtualInput, QueuedBuffersBlockCloseUnprepareAndSecondAdd) {
    openStarted(2, 16);
    HMIDIIN in = input_.handle;
    MIDIHDR& queued = input_.headers[0];
    EXPECT_EQ(midiInClose(in), static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    EXPECT_EQ(midiInUnprepareHeader(in, &queued, sizeof queued),
              static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    EXPECT_EQ(midiInAddBuffer(in, &queued, sizeof queued),
              static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    // Still open and working after the refusals.
    virtualInstrumentInject({0xF0, 0x05, 0xF7});
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    EXPECT_EQ(midiInUnprepareHeader(in, &queued, sizeof queued),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(queued.dwFlags & MHDR_PREPARED, 0u);
    EXPECT_EQ(midiInClose(in), static_cast<MMRESULT>(MIDIERR_STILLPLAYING));  // headers[1]
    EXPECT_EQ(midiInReset(in), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(midiInClose(in), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    input_.handle = nullptr;
    EXPECT_EQ(midiInStart(in), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

TEST_F(VirtualInput, BadDevicesHandlesAndHeadersAreRefused) {
    UINT count = midiInGetNumDevs();
    HMIDIIN in = nullptr;
    auto callback = reinterpret_cast<DWORD_PTR>(&InputRecorder::callback);
    auto instance = reinterpret_cast<DWORD_PTR>(&recorder_);
    EXPECT_EQ(midiInOpen(&in, count, callback, instance, CALLBACK_FUNCTION),
              static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(midiInOpen(nullptr, inDevice_, callback, instance, CALLBACK_FUNCTION),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(midiInOpen(&in, inDevice_, callback, instance, 0x00010000 /* window */),
              static_cast<MMRESULT>(MMSYSERR_INVALFLAG));
    EXPECT_TRUE(recorder_.events().empty());

    char data[16];
    MIDIHDR header{};
    header.lpData = data;
    header.dwBufferLength = sizeof data;
    EXPECT_EQ(midiInPrepareHeader(nullptr, &header, sizeof header),
              static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(midiInStart(nullptr), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(midiInReset(reinterpret_cast<HMIDIIN>(0x1234)),
              static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));

    openStarted(1, 16);
    in = input_.handle;
    EXPECT_EQ(midiInAddBuffer(in, &header, sizeof header),
              static_cast<MMRESULT>(MIDIERR_UNPREPARED));
    EXPECT_EQ(midiInPrepareHeader(in, &header, 8), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(midiInPrepareHeader(in, nullptr, sizeof header),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    MIDIHDR noData{};
    EXPECT_EQ(midiInPrepareHeader(in, &noData, sizeof noData),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    HMIDIIN second = nullptr;
    EXPECT_EQ(midiInOpen(&second, inDevice_, 0, 0, CALLBACK_NULL),
              static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(second, nullptr);
}

TEST_F(VirtualInput, ShortMessagesCarryMillisecondsSinceStart) {
    openStarted(1, 16);
    DWORD started = timeGetTime();
    // Let time pass so that a stamp counted from anything but the start would show it.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    virtualInstrumentInject({0xB3, 0x07, 0x65, 0xE0, 0x00, 0x40});
    ASSERT_TRUE(recorder_.awaitCount(MIM_DATA, 2));
    DWORD elapsed = timeGetTime() - started;
    std::vector<ReceivedEvent> messages = recorder_.ofType(MIM_DATA);
    EXPECT_EQ(messages[0].param1, 0x6507B3u);
    EXPECT_EQ(messages[1].param1, 0x4000E0u);
    for (const ReceivedEvent& message : messages) {
        EXPECT_GE(message.param2, 29u);
        EXPECT_LE(message.param2, elapsed + 2);
    }
}

TEST_F(VirtualInput, NothingIsDeliveredBeforeStartOrAfterStop) {
    ASSERT_EQ(input_.open(inDevice_, recorder_, 2, 16), MMSYSERR_NOERROR);
    virtualInstrumentInject({0x90, 0x3C, 0x64, 0xF0, 0x01, 0xF7});
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_EQ(recorder_.events().size(), 1u);  // MIM_OPEN only
    ASSERT_EQ(midiInStart(input_.handle), MMSYSERR_NOERROR);
    virtualInstrumentInject({0x80, 0x3C, 0x00});
    ASSERT_TRUE(recorder_.awaitCount(MIM_DATA, 1));
    ASSERT_EQ(midiInStop(input_.handle), MMSYSERR_NOERROR);
    virtualInstrumentInject({0x90, 0x3C, 0x64, 0xF0, 0x01, 0xF7});
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_EQ(recorder_.events().size(), 2u);
    EXPECT_EQ(recorder_.events()[1].param1, 0x3C80u);
}

TEST_F(VirtualInput, RealtimeBytesInsideSysExArriveAsShortMessagesInOrder) {
    openStarted(2, 64);
    virtualInstrumentInject({0xF0, 0x7D, 0xF8, 0x10, 0xFE, 0x11, 0xF7});
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    std::vector<ReceivedEvent> events = recorder_.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].message, static_cast<UINT>(MIM_DATA));
    EXPECT_EQ(events[1].param1, 0xF8u);
    EXPECT_EQ(events[2].param1, 0xFEu);
    EXPECT_EQ(events[3].bytes, (std::vector<BYTE>{0xF0, 0x7D, 0x10, 0x11, 0xF7}));
}

std::atomic<int> deliveryPolicy{-1};

void CALLBACK notePolicy(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (message == MIM_OPEN) {
        deliveryPolicy = sched_getscheduler(0);
    }
}

// Only at a real-time priority may delivery preempt a thread that spins waiting for the
// input; it gets one wherever this process may have it.
TEST_F(VirtualInput, DeliveryRunsAtRealTimePriorityWhereAllowed) {
    bool allowed = false;
    std::thread probe([&allowed] { allowed = takeLowestRealtimePriority(); });
    probe.join();
    HMIDIIN in = nullptr;
    ASSERT_EQ(
        midiInOpen(&in, inDevice_, reinterpret_cast<DWORD_PTR>(&notePolicy), 0, CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(deliveryPolicy.load(), allowed ? SCHED_FIFO : SCHED_OTHER);
}

}  // namespace
