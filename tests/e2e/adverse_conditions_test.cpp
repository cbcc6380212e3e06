// The built executable under conditions a user can create but the happy paths never meet:
// standard output that refuses the text, a machine out of memory, a settings file that is a
// device or a FIFO.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/e2e/e2e_cases.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kInquiry = {"F0", "7E", "7F", "06", "01", "F7"};

bool withoutMidi() {
    const char* value = std::getenv("MIDIPARLEY_NO_MIDI");
    return value != nullptr && std::string(value) == "1";
}

// A copy of the executable in a directory of its own, run from there.
struct Sandbox {
    TemporaryDirectory temporary{"midiparley-adverse"};
    const fs::path& directory = temporary.path;
    fs::path executable = directory / "midiparley";
    Sandbox() { fs::copy_file(MIDIPARLEY_DEFAULT_EXE, executable); }
    ProcessResult run(std::vector<std::string> args, const std::function<void()>& inChild = {}) {
        args.insert(args.begin(), executable.string());
        return runProcess(args, "", directory.string(), 20, inChild);
    }
};

std::string writeError(int code) {
    return "error: cannot write to standard output: " + std::string(std::strerror(code)) + "\n";
}

TEST(AdverseConditions, RefusedStandardOutputIsAnErrorOnEveryPath) {
    Sandbox sandbox;
    const auto toFull = [] { dup2(open("/dev/full", O_WRONLY), 1); };
    const auto closed = [] { close(1); };
    const auto brokenPipe = [] {
        int ends[2];
        if (pipe(ends) == 0) {
            close(ends[0]);
            dup2(ends[1], 1);
        }
        signal(SIGPIPE, SIG_IGN);
    };
    struct Way {
        std::function<void()> redirect;
        int code;
    };
    for (const Way& way : {Way{toFull, ENOSPC}, Way{closed, EBADF}, Way{brokenPipe, EPIPE}}) {
        SCOPED_TRACE(std::strerror(way.code));
        ProcessResult notice = sandbox.run({}, way.redirect);  // "no sysex sent ..."
        EXPECT_EQ(notice.err, writeError(way.code));
        EXPECT_EQ(notice.status, 1);
        ProcessResult usage = sandbox.run({"-bogus"}, way.redirect);
        EXPECT_EQ(usage.err, "error: invalid option: -bogus\n" + writeError(way.code));
        EXPECT_EQ(usage.status, 1);
        ProcessResult list = sandbox.run({"-list"}, way.redirect);
        EXPECT_EQ(list.err, writeError(way.code));
        EXPECT_EQ(list.status, 1);
        ProcessResult exchange = sandbox.run(kInquiry, way.redirect);
        EXPECT_EQ(exchange.err, writeError(way.code));
        EXPECT_EQ(exchange.status, 1);
        for (const char* info : {"-help", "-version"}) {
            ProcessResult printed = sandbox.run({info}, way.redirect);
            EXPECT_EQ(printed.err, writeError(way.code)) << info;
            EXPECT_EQ(printed.status, 1) << info;
        }
    }
}

// A file size limit lets the usage text through and stops the answer.
TEST(AdverseConditions, LostAnswerIsAnError) {
    if (withoutMidi()) {
        GTEST_SKIP() << "needs the virtual instrument as MIDI devices 0";
    }
    Sandbox sandbox;
    const std::string answerFile = (sandbox.directory / "answer").string();
    ProcessResult result = sandbox.run(kInquiry, [&] {
        dup2(open(answerFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kUsage.size() + 10, kUsage.size() + 10};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(result.err,
              "sent sysex F0 7E 7F 06 01 F7 to MIDI output device 0\n"
              "awaiting sysex data from MIDI input device 0...\n" +
                  writeError(EFBIG));
    EXPECT_EQ(result.status, 1);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Under shrinking address-space limits, down to where the program no longer loads, every run
// either completes or ends with one error line and status 1: never an uncaught exception.
TEST(AdverseConditions, ExhaustionEndsWithOneErrorLine) {
    if (kSanitized) {
        GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
    }
    Sandbox sandbox;
    int errorRuns = 0;
    for (rlim_t kb = 12000, step = 250; kb > step; kb -= step) {
        ProcessResult result =
            sandbox.run({"-timeout=0", "F0", "7E", "7F", "06", "01", "F7"}, [kb] {
                const rlimit limit{kb * 1024, kb * 1024};
                setrlimit(RLIMIT_AS, &limit);
            });
        if (result.status == 127 && step == 10) {
            break;  // the loader could not map the program
        }
        if (result.status == 127) {
            // Allocations before main fail in the last steps above this: walk them closely.
            kb += 250;
            step = 10;
            continue;
        }
        ASSERT_TRUE(result.status == 0 || result.status == 1) << kb << " kB: " << result.err;
        if (result.status == 1) {
            ++errorRuns;
            const size_t lastLine = result.err.rfind('\n', result.err.size() - 2);
            const size_t lineStart = lastLine == std::string::npos ? 0 : lastLine + 1;
            EXPECT_EQ(result.err.find("error: "), lineStart) << kb << " kB: " << result.err;
        }
    }
    EXPECT_GT(errorRuns, 0) << "no limit ran the program out of memory";
}

TEST(AdverseConditions, SettingsThatAreNoRegularFileCountAsNone) {
    Sandbox sandbox;
    const fs::path settings = sandbox.directory / "midiparley.ini";
    const auto makeLink = [&](const char* target) { fs::create_symlink(target, settings); };
    const auto makeFifo = [&](const char*) { ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0); };
    struct Kind {
        std::function<void(const char*)> make;
        const char* target;
    };
    for (const Kind& kind :
         {Kind{makeLink, "/dev/zero"}, Kind{makeLink, "/dev/urandom"}, Kind{makeFifo, ""}}) {
        SCOPED_TRACE(kind.target);
        kind.make(kind.target);
        ProcessResult result = sandbox.run({"-bogus"});
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.err, "error: invalid option: -bogus\n");
        EXPECT_EQ(result.out, kUsage);
        fs::remove(settings);
    }
}

}  // namespace
