// _getch from a pipe and from a pseudo-terminal, including a signal during the wait.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "platform/windows_api.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);

// Puts fd in place of standard input for the lifetime of the object.
struct StdinReplaced {
    int saved;
    explicit StdinReplaced(int fd) : saved(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~StdinReplaced() {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }
};

TEST(Getch, PipeGivesBytesInOrderThenEndOfInput) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "a\xFF\n\x1B", 4), 4);
    close(fds[1]);
    StdinReplaced replaced(fds[0]);
    close(fds[0]);
    EXPECT_EQ(_getch(), 'a');
    EXPECT_EQ(_getch(), 0xFF);  // a byte above 7F is no end of input
    EXPECT_EQ(_getch(), '\n');
    EXPECT_EQ(_getch(), 0x1B);
    EXPECT_EQ(_getch(), -1);
    EXPECT_EQ(_getch(), -1);
}

TEST(Getch, NoStandardInputGivesEndOfInput) {
    int saved = dup(STDIN_FILENO);
    close(STDIN_FILENO);
    int key = _getch();
    dup2(saved, STDIN_FILENO);
    close(saved);
    EXPECT_EQ(key, -1);
}

// A child process blocked in _getch on the slave side of a pseudo-terminal.
class GetchOnTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        termios mode{};
        ASSERT_EQ(tcgetattr(slave_, &mode), 0);
        ASSERT_TRUE(mode.c_lflag & ICANON);
        ASSERT_TRUE(mode.c_lflag & ECHO);
        ASSERT_EQ(pipe(result_), 0);
    }
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        close(master_);
        close(slave_);
        close(result_[0]);
        close(result_[1]);
    }

    // Starts the child; ignoredSignal (if any) is ignored there, the others take their default.
    // In a process group of its own the child can be stopped: the group has a parent outside.
    void startChild(int ignoredSignal = 0) {
        child_ = fork();
        ASSERT_GE(child_, 0);
        if (child_ == 0) {
            setpgid(0, 0);
            signal(SIGTSTP, SIG_DFL);
            for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
                signal(sig, sig == ignoredSignal ? SIG_IGN : SIG_DFL);
            }
            dup2(slave_, STDIN_FILENO);
            int key = _getch();
            ssize_t written = write(result_[1], &key, sizeof key);
            _exit(written == sizeof key ? 0 : 2);
        }
    }

    bool terminalIsCanonical() {
        termios mode{};
        return tcgetattr(slave_, &mode) == 0 && (mode.c_lflag & ICANON) && (mode.c_lflag & ECHO);
    }

    // True once the child has switched the terminal out of canonical mode and sleeps in its
    // read. Under the thread sanitizer a signal that comes just before the read is held back
    // for a later point of delivery, which a read that blocks never reaches.
    bool awaitRawMode() {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            if (!terminalIsCanonical() && childSleeps()) {
                return true;
            }
            std::this_thread::yield();
        }
        return false;
    }

    bool childSleeps() {
        std::ifstream stat("/proc/" + std::to_string(child_) + "/stat");
        const std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t end = text.rfind(')');  // the state follows the name in parentheses
        return end != std::string::npos && text.compare(end + 1, 2, " S") == 0;
    }

    // The child's exit status, or -1 when it did not end in time.
    int awaitExit() {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = 0;
                return status;
            }
            std::this_thread::yield();
        }
        return -1;
    }

    bool awaitStop() {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG | WUNTRACED) == child_) {
                return WIFSTOPPED(status);
            }
            std::this_thread::yield();
        }
        return false;
    }

    int readResult() {
        pollfd ready{result_[0], POLLIN, 0};
        int key = -2;
        if (poll(&ready, 1, 10000) == 1 && read(result_[0], &key, sizeof key) == sizeof key) {
            return key;
        }
        return -2;
    }

    // Whatever the terminal echoed so far: a marker written to the slave comes out on the
    // master after any echo, so everything before it is echo.
    std::string echoedText() {
        if (write(slave_, "Z", 1) != 1) {
            return "<write failed>";
        }
        std::string text;
        for (;;) {
            pollfd ready{master_, POLLIN, 0};
            char c = 0;
            if (poll(&ready, 1, 10000) != 1 || read(master_, &c, 1) != 1) {
                return text + "<no marker>";
            }
            if (c == 'Z') {
                return text;
            }
            text += c;
        }
    }

    int master_ = -1;
    int slave_ = -1;
    int result_[2] = {-1, -1};
    pid_t child_ = 0;
};

TEST_F(GetchOnTerminal, KeyArrivesWithoutEnterOrEchoAndTerminalIsRestored) {
    startChild();
    ASSERT_TRUE(awaitRawMode()) << "the child never left canonical mode";
    ASSERT_EQ(write(master_, "k", 1), 1);
    EXPECT_EQ(readResult(), 'k');
    int status = awaitExit();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(terminalIsCanonical());
    EXPECT_EQ(echoedText(), "");
}

TEST_F(GetchOnTerminal, EndingSignalRestoresTerminalAndEndsTheProcess) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        startChild();
        ASSERT_TRUE(awaitRawMode()) << "signal " << sig;
        ASSERT_EQ(kill(child_, sig), 0);
        int status = awaitExit();
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << sig << ", status " << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_TRUE(terminalIsCanonical()) << "signal " << sig;
    }
}

TEST_F(GetchOnTerminal, IgnoredSignalStaysIgnored) {
    startChild(SIGHUP);
    ASSERT_TRUE(awaitRawMode());
    ASSERT_EQ(kill(child_, SIGHUP), 0);
    ASSERT_EQ(write(master_, "q", 1), 1);
    EXPECT_EQ(readResult(), 'q');
    int status = awaitExit();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_TRUE(terminalIsCanonical());
}

// Arrow, function and Alt keys send sequences that start with Esc's own byte.
TEST_F(GetchOnTerminal, OtherKeysSequencesAreSkippedAndEscAloneEnds) {
    startChild();
    ASSERT_TRUE(awaitRawMode());
    const std::string keys = "\x1b[A\x1bOP\x1b[15;2~\x1bxk";  // up, F1, Shift+F5, Alt+x, k
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    EXPECT_EQ(readResult(), 'k');
    ASSERT_EQ(awaitExit(), 0);
    EXPECT_EQ(echoedText(), "");

    startChild();
    ASSERT_TRUE(awaitRawMode());
    ASSERT_EQ(write(master_, "\x1b", 1), 1);
    EXPECT_EQ(readResult(), 27);
    EXPECT_EQ(awaitExit(), 0);
}

TEST_F(GetchOnTerminal, StopGivesTheUserModeBackAndContinueTakesTheWaitsMode) {
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer runs handlers at its own points of delivery: a continue that comes
    // while the stop handler runs is held back while the wait blocks in read.
    GTEST_SKIP() << "job-control signals are not delivered as usual under the thread sanitizer";
#endif
    startChild();
    ASSERT_TRUE(awaitRawMode());
    ASSERT_EQ(kill(child_, SIGTSTP), 0);
    ASSERT_TRUE(awaitStop());
    EXPECT_TRUE(terminalIsCanonical());
    ASSERT_EQ(kill(child_, SIGCONT), 0);
    ASSERT_TRUE(awaitRawMode()) << "the wait's mode did not come back";
    ASSERT_EQ(write(master_, "\x1b", 1), 1);
    EXPECT_EQ(readResult(), 27);
    EXPECT_EQ(awaitExit(), 0);
    EXPECT_TRUE(terminalIsCanonical());
}

}  // namespace
