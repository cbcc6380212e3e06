// The thread message queue: order, peeking, quitting and posting between threads.
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/windows_api.h"

namespace {

// Takes every message now waiting on this thread's queue.
std::vector<UINT> drain() {
    std::vector<UINT> seen;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        seen.push_back(msg.message);
    }
    return seen;
}

// Each case runs on a thread of its own, so that it starts with an empty queue. A case stuck
// in GetMessageA cannot be joined, so the run ends instead of hanging.
template <typename Body>
void onFreshThread(Body body) {
    std::promise<void> finished;
    auto finishedFuture = finished.get_future();
    std::thread worker([&] {
        body();
        finished.set_value();
    });
    if (finishedFuture.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the case did not finish";
        _exit(1);
    }
    worker.join();
}

TEST(MessageQueue, PostingOrderAndPeekWithoutRemoving) {
    onFreshThread([] {
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
        DWORD self = GetCurrentThreadId();
        ASSERT_TRUE(PostThreadMessageA(self, WM_USER + 1, 11, -1));
        ASSERT_TRUE(PostThreadMessageA(self, WM_USER + 2, 22, 0));
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(msg.message, UINT(WM_USER + 1));
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, UINT(WM_USER + 1));
        EXPECT_EQ(msg.wParam, WPARAM(11));
        EXPECT_EQ(msg.lParam, LPARAM(-1));
        EXPECT_EQ(msg.hwnd, nullptr);
        EXPECT_FALSE(TranslateMessage(&msg));
        EXPECT_EQ(DispatchMessageA(&msg), 0);
        EXPECT_EQ(drain(), std::vector<UINT>{WM_USER + 2});
    });
}

TEST(MessageQueue, FilterPicksMatchingMessagesOnly) {
    onFreshThread([] {
        DWORD self = GetCurrentThreadId();
        PostThreadMessageA(self, WM_USER + 1, 0, 0);
        PostThreadMessageA(self, WM_USER + 5, 0, 0);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 5, WM_USER + 9, PM_REMOVE));
        EXPECT_EQ(msg.message, UINT(WM_USER + 5));
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 5, WM_USER + 9, PM_REMOVE));
        // No window exists, so a window filter matches nothing.
        EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(&msg), 0, 0, PM_REMOVE));
        EXPECT_EQ(drain(), std::vector<UINT>{WM_USER + 1});
    });
}

TEST(MessageQueue, QuitPostedAsMessageKeepsItsPlace) {
    onFreshThread([] {
        DWORD self = GetCurrentThreadId();
        PostThreadMessageA(self, WM_USER, 0, 0);
        PostThreadMessageA(self, WM_QUIT, 3, 0);
        PostThreadMessageA(self, WM_USER + 1, 0, 0);
        MSG msg;
        EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
        EXPECT_EQ(msg.message, UINT(WM_USER));
        EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
        EXPECT_EQ(msg.message, UINT(WM_QUIT));
        EXPECT_EQ(msg.wParam, WPARAM(3));
        EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
        EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    });
}

TEST(MessageQueue, PostQuitMessageWaitsForTheQueueToEmpty) {
    onFreshThread([] {
        DWORD self = GetCurrentThreadId();
        PostThreadMessageA(self, WM_USER, 0, 0);
        PostQuitMessage(7);
        PostThreadMessageA(self, WM_USER + 1, 0, 0);
        MSG msg;
        // A filter that excludes the other messages still lets the quit through.
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 100, WM_USER + 100, PM_NOREMOVE));
        EXPECT_EQ(msg.message, UINT(WM_QUIT));
        EXPECT_EQ(drain(), (std::vector<UINT>{WM_USER, WM_USER + 1, WM_QUIT}));
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        PostQuitMessage(8);
        EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
        EXPECT_EQ(msg.wParam, WPARAM(8));
    });
}

TEST(MessageQueue, PostingFromAnotherThreadWakesGetMessage) {
    std::promise<DWORD> receiverId;
    std::promise<void> finished;
    std::vector<UINT> received;
    std::thread receiver([&] {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // creates the queue, as on Windows
        receiverId.set_value(GetCurrentThreadId());
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            received.push_back(msg.message);
        }
        received.push_back(msg.message);
        finished.set_value();
    });
    auto idFuture = receiverId.get_future();
    auto finishedFuture = finished.get_future();
    ASSERT_EQ(idFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    DWORD id = idFuture.get();
    for (UINT i = 0; i < 100; ++i) {
        ASSERT_TRUE(PostThreadMessageA(id, WM_USER + i, i, 0));
    }
    ASSERT_TRUE(PostThreadMessageA(id, WM_QUIT, 0, 0));
    if (finishedFuture.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // A receiver stuck in GetMessageA cannot be joined; end the run instead of hanging.
        ADD_FAILURE() << "the receiver never saw WM_QUIT";
        _exit(1);
    }
    receiver.join();
    ASSERT_EQ(received.size(), 101u);
    for (UINT i = 0; i < 100; ++i) {
        EXPECT_EQ(received[i], WM_USER + i);
    }
    EXPECT_EQ(received[100], UINT(WM_QUIT));
    // The receiver has ended: its id is unknown again.
    EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0));
}

TEST(MessageQueue, UnknownThreadIsRefused) {
    EXPECT_FALSE(PostThreadMessageA(0x7FFFFFF0u, WM_USER, 0, 0));
    // A thread that never looked at its queue has none yet.
    std::promise<DWORD> id;
    std::promise<void> release;
    std::thread idle([&] {
        id.set_value(GetCurrentThreadId());
        release.get_future().wait_for(std::chrono::seconds(10));
    });
    auto idFuture = id.get_future();
    ASSERT_EQ(idFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(PostThreadMessageA(idFuture.get(), WM_USER, 0, 0));
    release.set_value();
    idle.join();
}

}  // namespace
