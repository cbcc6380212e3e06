// The kernel services: the executable's path, long path names, ticks and global memory.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/posix/clock.h"
#include "platform/windows_api.h"

namespace {

std::string moduleFileName() {
    char path[4096];
    DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
    return std::string(path, n);
}

TEST(ModuleFileName, IsTheRealPathOfThisExecutable) {
    std::string path = moduleFileName();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "platform_base_test");
    char* real = realpath(path.c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(path, real);
    free(real);
    struct stat mine {
    }, reported{};
    ASSERT_EQ(stat("/proc/self/exe", &mine), 0);
    ASSERT_EQ(stat(path.c_str(), &reported), 0);
    EXPECT_EQ(mine.st_ino, reported.st_ino);
    EXPECT_EQ(mine.st_dev, reported.st_dev);
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
    char buffer[16];
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(buffer), buffer, sizeof buffer), 0u);
}

TEST(ModuleFileName, TruncationCutsTerminatesAndReportsTheSize) {
    std::string path = moduleFileName();
    const DWORD length = static_cast<DWORD>(path.size());
    for (DWORD size : {length + 1, length, DWORD(5), DWORD(1)}) {
        std::vector<char> buffer(size + 4, '#');
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), size);
        DWORD error = GetLastError();
        EXPECT_EQ(std::string(buffer.data()), path.substr(0, size - 1)) << "size " << size;
        EXPECT_EQ(std::string(buffer.data() + size, 4), "####") << "size " << size;
        if (size > length) {
            EXPECT_EQ(n, length);
            EXPECT_EQ(error, DWORD(ERROR_SUCCESS));
        } else {
            EXPECT_EQ(n, size);
            EXPECT_EQ(error, DWORD(ERROR_INSUFFICIENT_BUFFER));
        }
    }
    char untouched = '#';
    EXPECT_EQ(GetModuleFileNameA(nullptr, &untouched, 0), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(LongPathName, ExistingPathComesBackAsGiven) {
    const char* path = "/proc/self/../self";
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetLongPathNameA(path, buffer, sizeof buffer), strlen(path));
    EXPECT_STREQ(buffer, path);

    // Same buffer in and out.
    char inPlace[32] = "/tmp/./";
    EXPECT_EQ(GetLongPathNameA(inPlace, inPlace, sizeof inPlace), 7u);
    EXPECT_STREQ(inPlace, "/tmp/./");
}

TEST(LongPathName, MissingPathFailsAndSmallBufferGetsTheNeededSize) {
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetLongPathNameA("/no/such/dir/file.ini", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetLongPathNameA("", buffer, sizeof buffer), 0u);
    EXPECT_EQ(buffer[0], '#');

    // "/proc/self" is 10 characters: 11 bytes needed; the 8-byte buffer stays as it was.
    EXPECT_EQ(GetLongPathNameA("/proc/self", buffer, sizeof buffer), 11u);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
    EXPECT_EQ(GetLongPathNameA("/proc/self", buffer, 10), 11u);
    EXPECT_EQ(GetLongPathNameA("/proc/self", nullptr, 0), 11u);
    char exact[11];
    EXPECT_EQ(GetLongPathNameA("/proc/self", exact, sizeof exact), 10u);
    EXPECT_STREQ(exact, "/proc/self");
}

TEST(TickCount, MovesForwardInMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto beforeFirst = Clock::now();
    const DWORD first = GetTickCount();
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(5);
    DWORD previous = first;
    // Spin (bounded) until 30 ms have passed on the standard clock.
    while (Clock::now() - start < std::chrono::milliseconds(30) && Clock::now() < deadline) {
        DWORD now = GetTickCount();
        ASSERT_GE(static_cast<int32_t>(now - previous), 0) << "went backwards";
        previous = now;
    }
    const DWORD last = GetTickCount();
    const auto end = Clock::now();
    const auto upper =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - beforeFirst).count();
    // At least 30 ms passed between the two readings, and no more than the bracketing time.
    EXPECT_GE(last - first + 1, 30u);
    EXPECT_LE(last - first, static_cast<DWORD>(upper) + 1);
    // timeGetTime counts on the same clock.
    EXPECT_LE(static_cast<int32_t>(monotonicMilliseconds() - GetTickCount()), 0);
}

TEST(GlobalMemory, FixedBlockLifecycle) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 100);
    ASSERT_NE(block, nullptr);
    unsigned char* bytes = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_EQ(static_cast<void*>(bytes), block);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
    memset(bytes, 0xAB, 100);
    EXPECT_TRUE(GlobalUnlock(block));
    EXPECT_EQ(GlobalFree(block), nullptr);
    // Freed or foreign handles are refused, not freed again.
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_EQ(GlobalLock(block), nullptr);
    int local = 0;
    EXPECT_EQ(GlobalFree(&local), static_cast<HGLOBAL>(&local));
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(ThreadId, DiffersBetweenThreads) {
    DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(mine, GetCurrentThreadId());
    DWORD other = mine;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, mine);
    EXPECT_EQ(static_cast<pid_t>(mine), getpid());  // the test body runs on the main thread
}

}  // namespace
