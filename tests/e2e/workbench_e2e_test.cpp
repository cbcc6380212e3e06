// The workbench options end to end where files or a JACK server are involved: hex text files
// sent and saved, a corrupt Roland backup that is not saved, and a paced bank through JACK.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "platform/posix/testing/jack_server.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/file_contents.h"
#include "tests/testing/temporary_directory.h"

namespace {

ProcessResult run(const TemporaryDirectory& directory, std::vector<std::string> args) {
    args.insert(args.begin(), MIDIPARLEY_EXE);
    return runProcess(args, "\x1b", directory.path.string(), 120);
}

TEST(Workbench, HexTextFilesAreSentAndSaved) {
    TemporaryDirectory d;
    writeFile(d.file("in.txt"), "# a bank\nF0 01 02 F7\r\n0xF0,0x03,F7 ; end\nF0040506F7");
    ProcessResult r = run(d, {"-quiet", "-send=in.txt", "-idle=300", "-save=Echo.TXT"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(d.file("Echo.TXT")), "F0 01 02 F7 \nF0 03 F7 \nF0 04 05 06 F7 \n");
    // What was saved reads back.
    r = run(d, {"-quiet", "-send=Echo.TXT", "-idle=300", "-save=echo.syx"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(d.file("echo.syx")), "\xF0\x01\x02\xF7\xF0\x03\xF7\xF0\x04\x05\x06\xF7");
    writeFile(d.file("bad.txt"), "F0 01\n02 G7\n");
    r = run(d, {"-quiet", "-send=bad.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: invalid hex text in bad.txt at line 2, column 4: unexpected 'G'\n");
    EXPECT_EQ(r.out, "");
}

TEST(Workbench, AWrongRolandChecksumKeepsTheBackupAsItWas) {
    TemporaryDirectory d;
    writeFile(d.file("bank.syx"), "a good backup");
    const ProcessResult r = run(d, {"-quiet", "-checksum=roland", "-save=bank.syx", "F0", "41",
                                    "10", "42", "12", "40", "00", "7F", "00", "40", "F7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "error: wrong Roland checksum in received message 1 at byte offset 0 (F0 41 10 42 "
              "12 40 00 7F 00 ...): it carries 40, its bytes give 41; bank.syx not written\n");
    EXPECT_EQ(r.out, "F0 41 10 42 12 40 00 7F 00 40 F7 \n");
    EXPECT_EQ(readFile(d.file("bank.syx")), "a good backup");
}

TEST(Workbench, APacedBankArrivesWholeThroughJack) {
    if (findProgram("jackd").empty() || access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "needs jackd and no ALSA sequencer (the tool would prefer it)";
    }
    TemporaryDirectory d;
    // A bank of 4,104 bytes: 17 parts of at most 256 bytes, 16 pauses of 20 ms.
    std::string bank = "\xF0\x43\x00\x09\x20\x00";
    for (size_t i = 0; bank.size() < 4103; ++i) {
        bank += static_cast<char>(i & 0x7F);
    }
    bank += '\xF7';
    writeFile(d.file("bank.syx"), bank);
    // The echo's end is known by its pause alone, which must outlast a loaded machine's pauses
    // in the server's cycles.
    const int idleMs = 2000;
    ProcessResult r;
    std::chrono::milliseconds took{0};
    std::string error;
    // The instrument is devices 0 and echoes every part it gets, as it gets it.
    const bool started = withFreshJackServer(
        JACK_INSTRUMENT_PATH, "paced",
        [&] {
            const auto start = std::chrono::steady_clock::now();
            r = run(d, {"-quiet", "-send=bank.syx", "-pace=256/20",
                        "-idle=" + std::to_string(idleMs), "-save=echo.syx"});
            took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            return jackDidNotAnswer(r.err);
        },
        error);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(r.status, 0) << r.err;
    // At least the 16 pauses and the idle time after the echo; a run that sends the bank whole
    // takes 130 to 220 ms more than its idle time here.
    EXPECT_GE(took.count(), 16 * 20 + idleMs);
    EXPECT_TRUE(readFile(d.file("echo.syx")) == bank) << "the echo is the bank, whole";
}

}  // namespace
