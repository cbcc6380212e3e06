// Kept in an executable of its own: once the pump has seen WM_QUIT it refuses for the rest of
// the process, which would cut every later wait short.
#include <gtest/gtest.h>

#include <vector>

#include "midi/sysex_sender.h"
#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/windows_api.h"

namespace {

TEST(SenderQuit, QueuedQuitCancelsTheWaitForGood) {
    virtualInstrumentResetControl();
    SysExSender sender;
    HMIDIOUT handle = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&handle, virtualInstrumentOutputId(), 0, 0, 0));
    sender.outHandle = handle;
    sender.waitMs = 5000;
    ASSERT_FALSE(quitSeen.load());
    PostQuitMessage(0);

    const std::vector<BYTE> data = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    const DWORD before = GetTickCount();
    EXPECT_EQ(1, sendSysEx(sender, data.data(), 6));
    EXPECT_LT(GetTickCount() - before, 5000u);
    EXPECT_EQ(1, sender.cancelled);
    EXPECT_TRUE(quitSeen.load());
    EXPECT_EQ(0, sendSysEx(sender, data.data(), 6));
    EXPECT_EQ(std::vector<std::vector<BYTE>>{data}, virtualInstrumentLongMessages());

    // The quit message is left for the outer loop, and the pump stays refused after it is gone.
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_FALSE(pumpMessages());
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0));
    EXPECT_FALSE(pumpMessages());
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER), msg.message);
}

}  // namespace
