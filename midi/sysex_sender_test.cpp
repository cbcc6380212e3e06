#include "midi/sysex_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/windows_api.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using Bytes = std::vector<BYTE>;

// Takes every message waiting in the calling thread's queue; returns their ids in order.
std::vector<UINT> drainQueue() {
    std::vector<UINT> ids;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ids.push_back(msg.message);
    }
    return ids;
}

// A sender on the virtual instrument (always the last output device), as the caller opens it.
class SenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        virtualInstrumentResetControl();
        drainQueue();
        const UINT device = virtualInstrumentOutputId();
        HMIDIOUT handle = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&handle, device, 0, 0, CALLBACK_NULL));
        sender.outHandle = handle;
        sender.deviceId = static_cast<int32_t>(device);
        sender.waitMs = 1;
    }
    void TearDown() override { virtualInstrumentReleaseHeld(); }

    SysExSender sender;
};

TEST_F(SenderTest, SendsTheBytesAsOneLongMessage) {
    const Bytes inquiry = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    EXPECT_EQ(1, sendSysEx(sender, inquiry.data(), 6));
    EXPECT_EQ(std::vector<Bytes>{inquiry}, virtualInstrumentLongMessages());
    EXPECT_EQ(0, sender.cancelled);
}

TEST_F(SenderTest, AMessageOfThreeBytesIsStillALongMessage) {
    const Bytes shortest = {0xF0, 0x01, 0xF7};
    EXPECT_EQ(1, sendSysEx(sender, shortest.data(), 3));
    EXPECT_EQ(std::vector<Bytes>{shortest}, virtualInstrumentLongMessages());
    EXPECT_TRUE(virtualInstrumentShortMessages().empty());
}

TEST_F(SenderTest, LengthZeroSendsUpToTheFirstEnd) {
    const Bytes data = {0xF0, 0x41, 0x10, 0xF7, 0x55, 0xF7};
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 0));
    const Bytes shortest = {0xF0, 0xF7, 0xF7};
    EXPECT_EQ(1, sendSysEx(sender, shortest.data(), -3));
    const std::vector<Bytes> expected = {{0xF0, 0x41, 0x10, 0xF7}, {0xF0, 0xF7}};
    EXPECT_EQ(expected, virtualInstrumentLongMessages());
}

TEST_F(SenderTest, LengthZeroWithoutStartSendsNothingButWaits) {
    const Bytes data = {0x41, 0x10, 0xF7};
    sender.waitMs = 20;
    const DWORD before = GetTickCount();
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 0));
    EXPECT_GE(GetTickCount() - before, 20u);
    EXPECT_TRUE(virtualInstrumentLongMessages().empty());
}

TEST_F(SenderTest, RefusedWithoutDeviceDataOrAfterCancel) {
    const Bytes data = {0xF0, 0x01, 0xF7};
    EXPECT_EQ(0, sendSysEx(sender, nullptr, 3));
    sender.cancelled = 1;
    EXPECT_EQ(0, sendSysEx(sender, data.data(), 3));
    SysExSender closed;
    EXPECT_EQ(0, sendSysEx(closed, data.data(), 3));
    EXPECT_TRUE(virtualInstrumentLongMessages().empty());
}

// A device failure returns 0 at once: the queued message shows that no pumped wait ran.
TEST_F(SenderTest, DeviceFailureGivesZeroWithoutWait) {
    const Bytes data = {0xF0, 0x01, 0xF7};
    sender.waitMs = 3000;
    for (VirtualFailPoint point : {VirtualFailPoint::OutPrepare, VirtualFailPoint::OutLongMsg}) {
        virtualInstrumentFailNext(point, MMSYSERR_NOMEM);
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0));
        const DWORD before = GetTickCount();
        EXPECT_EQ(0, sendSysEx(sender, data.data(), 3));
        EXPECT_LT(GetTickCount() - before, 3000u);
        EXPECT_EQ(std::vector<UINT>{WM_USER}, drainQueue());
        EXPECT_EQ(0, sender.cancelled);
    }
    EXPECT_TRUE(virtualInstrumentLongMessages().empty());
    // The failures leave the sender usable.
    sender.waitMs = 1;
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 3));
    EXPECT_EQ(1u, virtualInstrumentLongMessages().size());
}

// The device keeps playing after midiOutLongMsg returns: the header must outlive that. Freeing
// it early shows up as the device writing freed memory (AddressSanitizer) and as an early
// return here.
TEST_F(SenderTest, WaitsForTheDeviceToFinishPlaying) {
    const Bytes data = {0xF0, 0x7D, 0x01, 0x00, 0x10, 0xF7};
    virtualInstrumentHoldNextLongMessage(kHoldUntilReleased);
    std::atomic<bool> released{false};
    std::thread device([&] {
        // Playing time of the simulated cable, not a wait for a condition.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        released = true;
        virtualInstrumentReleaseHeld();
    });
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 6));
    EXPECT_TRUE(released.load());
    device.join();
    EXPECT_EQ(std::vector<Bytes>{data}, virtualInstrumentLongMessages());
}

// Past every plausible playing time the header is left to the device rather than freed. The
// device's late write into it must land in live memory; the header itself leaks on purpose.
TEST_F(SenderTest, DeviceThatNeverFinishesKeepsTheHeader) {
    const Bytes data = {0xF0, 0x01, 0x02, 0xF7};
    virtualInstrumentHoldNextLongMessage(kHoldUntilReleased);
    const DWORD before = GetTickCount();
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan::ScopedDisabler intendedLeak;
#endif
        EXPECT_EQ(1, sendSysEx(sender, data.data(), 4));
    }
    EXPECT_GE(GetTickCount() - before, 1000u);
    virtualInstrumentReleaseHeld();
    EXPECT_EQ(std::vector<Bytes>{data}, virtualInstrumentLongMessages());
}

TEST_F(SenderTest, WaitEndsOnceTheTickHasMoved) {
    const Bytes data = {0xF0, 0x01, 0xF7};
    // Repeated so that a send without a wait cannot pass by a tick that happens to move.
    for (int i = 0; i < 20; ++i) {
        const DWORD before = GetTickCount();
        ASSERT_EQ(1, sendSysEx(sender, data.data(), 3));
        ASSERT_GE(GetTickCount() - before, 1u) << i;
    }
    EXPECT_EQ(20u, virtualInstrumentLongMessages().size());
}

TEST_F(SenderTest, AbortFlagCancelsTheWait) {
    const Bytes data = {0xF0, 0x01, 0xF7};
    std::atomic<int32_t> abort{0};
    sender.abortFlag = &abort;
    sender.waitMs = 10;
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 3));
    EXPECT_EQ(0, sender.cancelled);

    abort = 1;
    sender.waitMs = 5000;
    const DWORD before = GetTickCount();
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 3));
    EXPECT_LT(GetTickCount() - before, 5000u);
    EXPECT_EQ(1, sender.cancelled);
    EXPECT_EQ(0, sendSysEx(sender, data.data(), 3));
    EXPECT_EQ(2u, virtualInstrumentLongMessages().size());
}

TEST_F(SenderTest, CloseReturnsToClosedStateAndClosesTheDevice) {
    std::atomic<int32_t> abort{0};
    sender.abortFlag = &abort;
    sender.cancelled = 1;
    const HMIDIOUT handle = sender.outHandle;
    closeSender(sender);
    EXPECT_EQ(nullptr, sender.outHandle);
    EXPECT_EQ(nullptr, sender.abortFlag);
    EXPECT_EQ(0, sender.cancelled);
    EXPECT_EQ(-1, sender.deviceId);
    EXPECT_EQ(MMSYSERR_INVALHANDLE, midiOutClose(handle));

    HMIDIOUT scoped = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&scoped, virtualInstrumentOutputId(), 0, 0, 0));
    {
        SysExSender owner;
        owner.outHandle = scoped;
    }
    EXPECT_EQ(MMSYSERR_INVALHANDLE, midiOutClose(scoped));
}

TEST(PumpMessages, DispatchesAtMostFivePerCall) {
    drainQueue();
    EXPECT_TRUE(pumpMessages());
    for (UINT i = 0; i < 7; ++i) {
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + i, 0, 0));
    }
    EXPECT_TRUE(pumpMessages());
    EXPECT_EQ((std::vector<UINT>{WM_USER + 5, WM_USER + 6}), drainQueue());
}

}  // namespace
