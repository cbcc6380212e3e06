// The built executable against MIDI systems that misbehave: a private JACK server that is
// stopped or killed under it, an ALSA sequencer that cannot be opened, a module that is not
// there.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix/testing/jack_server.h"
#include "platform/posix/winmm/instrument_answers.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/listing.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

const std::string kExe = MIDIPARLEY_DEFAULT_EXE;
const std::string kIdentityReplyLine = listing(identityReply());

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class WithJackServer : public testing::Test {
  protected:
    void SetUp() override {
        if (findProgram("jackd").empty()) {
            GTEST_SKIP() << "jackd is not installed";
        }
        ASSERT_TRUE(startJackServer(server_, error_)) << error_;
    }
    void TearDown() override {
        if (server_.pid > 0) {
            kill(server_.pid, SIGCONT);
        }
        stopChild(instrument_);
        stopJackServer(server_);
    }

    // A fresh server for the case's next attempt.
    void restartServer() {
        stopChild(instrument_);
        stopJackServer(server_);
        ASSERT_TRUE(startJackServer(server_, error_)) << error_;
    }

    ChildProcess server_;
    ChildProcess instrument_;
    std::string error_;
};

TEST_F(WithJackServer, ACopyWithoutItsModuleSaysSoAndHoldsNoBuildPath) {
    const TemporaryDirectory temporary("midiparley-copy");
    const fs::path& directory = temporary.path;
    fs::copy_file(kExe, directory / "midiparley");
    ProcessResult run =
        runProcess({(directory / "midiparley").string(), "-timeout=0"}, "\x1b", "/", 30);
    // Debug information names the build's directories; the program itself must not.
    ProcessResult strip =
        runProcess({"objcopy", "--strip-debug", (directory / "midiparley").string(),
                    (directory / "stripped").string()},
                   "", "/", 30);
    ProcessResult grep = runProcess(
        {"grep", "-c", fs::path(kExe).parent_path().string(), (directory / "stripped").string()},
        "", "/", 30);
    EXPECT_TRUE(contains(run.err, "a MIDI system is running but its module did not load:"))
        << run.err;
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(strip.status, 0) << strip.err;
    EXPECT_EQ(grep.out, "0\n");
}

TEST_F(WithJackServer, AStoppedServerIsLeftAfterTwoSecondsForTheVirtualInstrument) {
    kill(server_.pid, SIGSTOP);
    auto start = std::chrono::steady_clock::now();
    ProcessResult run = runProcess({kExe, "F0", "7E", "7F", "06", "01", "F7"}, "\x1b", "/", 30);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(contains(run.err,
                         "midiparley: the JACK server did not answer within 2 seconds; "
                         "going on without its ports\n"))
        << run.err;
    EXPECT_TRUE(contains(run.out, kIdentityReplyLine)) << run.out;
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(WithJackServer, AServerKilledDuringTheRunIsMentioned) {
    // On a loaded machine opening the tool's client can outlast the 2-second bound, and then the
    // server is rightly left as one that did not answer; only a run whose input got connected
    // before the server ended tells about this case, so a few runs are allowed for one.
    std::string unconnected;  // what the runs that were not connected said
    for (int attempt = 0; attempt < kJackAttempts; ++attempt) {
        if (attempt > 0) {
            restartServer();
        }
        ASSERT_TRUE(startInstrument(JACK_INSTRUMENT_PATH, "killed-instrument", instrument_, error_))
            << error_;
        // Ends the server once the tool's input is connected: its opening has ended then. The
        // instrument says so; a client of the test's own opening to look could meet the tool's
        // connecting, which now and then stops a synchronous server's cycles for good.
        bool connected = false;
        std::thread killer([this, &connected] {
            connected = awaitChildLine(instrument_, "connected\n", 10000);
            kill(server_.pid, SIGTERM);  // SIGKILL would leave its slot in JACK's shared registry
        });
        ProcessResult run = runProcess({kExe, "-timeout=6"}, "\x1b", "/", 60);
        killer.join();
        if (!connected) {
            unconnected += run.err;
            continue;
        }
        // The line comes from JACK's thread as the server goes, so it may come before the
        // tool's own first line; it comes once and whole.
        const std::string gone = "midiparley: the JACK server went away during the run\n";
        std::string err = run.err;
        const size_t at = err.find(gone);
        ASSERT_NE(at, std::string::npos) << err;
        err.erase(at, gone.size());
        EXPECT_EQ(err,
                  "awaiting sysex data from MIDI input device 0...\n"
                  "warning: no end of sysex (F7) received from MIDI input device 0\n"
                  "Press <esc> to cancel the application...\n");
        EXPECT_EQ(run.status, 0);
        return;
    }
    FAIL() << "the tool's input was never connected to the server in " << kJackAttempts
           << " runs:\n"
           << unconnected;
}

TEST_F(WithJackServer, InputBeyondTheBuffersIsCountedAsLost) {
    ProcessResult run;
    for (int attempt = 0; attempt < kJackAttempts; ++attempt) {
        if (attempt > 0) {
            restartServer();
        }
        ASSERT_TRUE(startInstrument(JACK_INSTRUMENT_PATH, "long-instrument", instrument_, error_))
            << error_;
        // 700,000 bytes, of which 640 buffers of 1024 bytes hold 655,360.
        run = runProcess({kExe, "-timeout=6", "F0", "7D", "05", "46", "F7"}, "\x1b", "/", 60);
        if (!jackDidNotAnswer(run.err)) {
            break;
        }
    }
    EXPECT_TRUE(contains(run.err,
                         "awaiting sysex data from MIDI input device 0...\n"
                         "warning: the input buffers ran out; 44640 bytes of sysex input were "
                         "lost\nwarning: no end of sysex (F7) received from MIDI input device 0\n"))
        << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 6 + 640);  // usage, buffers
}

// Started with standard input and output closed, the tool keeps descriptor 1 from the files
// JACK opens (its metadata database took it, and got the answer), and the answer that cannot
// be written is an error.
TEST_F(WithJackServer, AClosedStandardOutputIsAnErrorAndNoOtherFile) {
    ProcessResult run =
        runProcess({kExe, "-quiet", "F0", "7E", "7F", "06", "01", "F7"}, "", "/", 30, [] {
            close(0);
            close(1);
        });
    EXPECT_EQ(run.err, "error: cannot write to standard output: Bad file descriptor\n");
    EXPECT_EQ(run.status, 1);
}

// The tests' own child processes: a start that fails half-way closes what it opened.
TEST(TestChildProcess, AStartThatFailsLeavesNoDescriptorOpen) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' runtimes need descriptors of their own";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto startWithTwoDescriptorsFree = [] {
        rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
        int last = -1;
        for (int fd = dup(0); fd >= 0; fd = dup(0)) {
            last = fd;
        }
        close(last);
        close(last - 1);
        // The input pipe takes both; the output pipe cannot open.
        ChildProcess child;
        std::string error;
        bool started = startInstrument("/bin/true", "none", child, error);
        std::exit(!started && dup(0) >= 0 && dup(0) >= 0 ? 0 : 1);
    };
    EXPECT_EXIT(startWithTwoDescriptorsFree(), testing::ExitedWithCode(0), "");
}

// A sequencer device that is there but is no sequencer, in a mount namespace of the test's own.
TEST(AlsaSequencer, ThatCannotBeOpenedIsNamedAndLeftForTheVirtualInstrument) {
    if (runProcess({"unshare", "-rm", "true"}, "", "/", 10).status != 0) {
        GTEST_SKIP() << "no user and mount namespaces here";
    }
    ProcessResult run =
        runProcess({"unshare", "-rm", "sh", "-c",
                    "mount -t tmpfs none /dev && mkdir /dev/snd /dev/snd/seq && exec \"$0\" \"$@\"",
                    kExe, "F0", "7E", "7F", "06", "01", "F7"},
                   "\x1b", "/", 30);
    EXPECT_TRUE(contains(run.err,
                         "midiparley: the ALSA sequencer cannot be opened (Is a "
                         "directory); going on without its ports\nsent sysex"))
        << run.err;
    EXPECT_TRUE(contains(run.out, kIdentityReplyLine)) << run.out;
}

}  // namespace
