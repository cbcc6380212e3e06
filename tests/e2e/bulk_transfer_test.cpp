// Bulk dumps and .syx files end to end: the built executable with -send, -save, -idle and -gap
// against the virtual instrument and through a private JACK server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>

#include "driver/midi_file.h"
#include "platform/posix/testing/jack_server.h"
#include "platform/posix/winmm/instrument_answers.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/file_contents.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;  // file contents, byte for byte

using Directory = TemporaryDirectory;

// F0, `length` - 2 data bytes counting from `seed`, F7.
Bytes message(size_t length, unsigned seed) {
    Bytes m(1, '\xF0');
    for (size_t i = 0; i + 2 < length; ++i) {
        m += static_cast<char>((seed + i) & 0x7F);
    }
    return m + '\xF7';
}

// The virtual instrument's bulk dump of `count` messages.
Bytes bulkDump(unsigned count) {
    Bytes dump;
    for (unsigned k = 0; k < count; ++k) {
        dump += Bytes("\xF0\x7D\x04") + static_cast<char>(k) + message(258, k).substr(1);
    }
    return dump;
}

// The instruments' large dump (F0 7D 06/08 ch cl sh sl F7) of `count` messages.
Bytes largeDump(unsigned count, unsigned dataBytes, bool cut = false) {
    std::vector<uint8_t> dump;
    for (unsigned k = 0; k < count; ++k) {
        appendLargeDumpMessage(LargeDump{count, dataBytes, cut}, k, dump);
    }
    return Bytes(dump.begin(), dump.end());
}

// A format 0 file at one tick a millisecond (500 ticks per quarter note at the default tempo)
// of `count` messages F0 41 k F7, `gapMs` (below 128) apart.
Bytes midiFile(unsigned count, unsigned gapMs) {
    Bytes track;
    for (unsigned k = 0; k < count; ++k) {
        track += static_cast<char>(k == 0 ? 0 : gapMs);
        track += Bytes("\xF0\x03\x41", 3) + static_cast<char>(k) + '\xF7';
    }
    track += Bytes("\x00\xFF\x2F\x00", 4);
    return Bytes("MThd\0\0\0\6\0\0\0\1\x01\xF4MTrk\0\0", 20) +
           static_cast<char>(track.size() >> 8) + static_cast<char>(track.size()) + track;
}

ProcessResult run(const Directory& directory, std::vector<std::string> args,
                  const std::function<void()>& inChild = {}) {
    args.insert(args.begin(), MIDIPARLEY_EXE);
    return runProcess(args, "\x1b", directory.path.string(), 120, inChild);
}

// Standard output into nothing (a listing of megabytes).
void outputToNull() {
    dup2(open("/dev/null", O_WRONLY), 1);
}

TEST(BulkTransfer, FileRoundTripThroughTheVirtualInstrument) {
    Directory d;
    // Longer than 1000 bytes, and long enough to fill several receive buffers.
    const Bytes sent = message(15000, 1) + message(6, 2) + message(2000, 3);
    writeFile(d.file("in.syx"), sent);
    const ProcessResult r = run(d, {"-send=in.syx", "-gap=5", "-idle=300", "-save=out.syx"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("no sysex sent"), std::string::npos);
    EXPECT_NE(r.err.find("sent 3 sysex messages (17006 bytes) from in.syx to MIDI output device "
                         "0\nawaiting sysex data from MIDI input device 0...\nPress"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(readFile(d.file("out.syx")) == sent);
}

TEST(BulkTransfer, BulkDumpIsWholeWithIdleAndCutToOneMessageWithout) {
    Directory d;
    // The idle time is far above the dump's 10 ms pauses, even on a loaded machine.
    ProcessResult r = run(d, {"-idle=300", "-save=all.syx", "F0", "7D", "03", "7F", "F7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_TRUE(readFile(d.file("all.syx")) == bulkDump(127));
    // Without -idle the wait ends at the first message; a next one, 10 ms later, may still
    // come in before the input is closed on a loaded machine, but never the whole dump.
    r = run(d, {"-save=first.syx", "F0", "7D", "03", "7F", "F7"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes first = readFile(d.file("first.syx"));
    const Bytes one = bulkDump(1);
    EXPECT_TRUE(first.size() >= one.size() && std::equal(one.begin(), one.end(), first.begin()));
    EXPECT_LT(first.size(), bulkDump(127).size() / 4);
}

TEST(BulkTransfer, DumpsBeyondTheInputBuffersArriveWhole) {
    Directory d;
    // 700 six-byte messages sent from a file and echoed: more messages than input buffers.
    Bytes small;
    for (unsigned i = 0; i < 700; ++i) {
        small += message(6, i);
    }
    writeFile(d.file("small.syx"), small);
    ProcessResult r = run(d, {"-send=small.syx", "-idle=300", "-save=echo.syx"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(d.file("echo.syx")) == small);
    // 10,000 small messages, and 20 MB in 2000 messages of 10,006 bytes. The idle time allows
    // for the pauses of a busy machine over a transfer of many seconds under a sanitizer.
    r = run(d, {"-quiet", "-idle=1000", "-save=many.syx", "F0", "7D", "06", "4E", "10", "00", "00",
                "F7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(d.file("many.syx")) == largeDump(10000, 0));
    r = run(d,
            {"-quiet", "-idle=1000", "-timeout=90", "-save=big.syx", "F0", "7D", "06", "0F", "50",
             "4E", "10", "F7"},
            outputToNull);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(readFile(d.file("big.syx")) == largeDump(2000, 10000));
}

TEST(BulkTransfer, IncompleteDumpsFailAndLeaveTheFileAsItWas) {
    Directory d;
    // 4 x 16,383 messages, 65,532 buffers: 532 beyond what a run records.
    Bytes requests;
    for (int i = 0; i < 4; ++i) {
        requests += Bytes("\xF0\x7D\x06\x7F\x7F\x00\x00\xF7", 8);
    }
    writeFile(d.file("requests.syx"), requests);
    const struct {
        std::vector<std::string> args;
        std::string missing;
    } cases[] = {
        // 127 messages 10 ms apart: the time-out falls in the middle.
        {{"-timeout=1", "F0", "7D", "03", "7F", "F7"},
         "the time-out ended it while input was still arriving"},
        {{"F0", "7D", "08", "00", "05", "00", "03", "F7"},
         "the last message (at byte offset 36) has no end (F7)"},
        {{"-send=requests.syx"},
         "3192 bytes of sysex input were lost (more than the 65000 buffers one run records)"},
    };
    writeFile(d.file("bank.syx"), "a good backup");
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-quiet", "-idle=300", "-save=bank.syx"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = run(d, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "error: incomplete sysex dump from MIDI input device 0: " + c.missing +
                             "; bank.syx not written\n");
        EXPECT_NE(r.out.find("F0 7D "), std::string::npos) << "what came is listed";
        EXPECT_TRUE(readFile(d.file("bank.syx")) == "a good backup");
    }
}

TEST(BulkTransfer, TheFileIsWrittenBeforeTheListing) {
    Directory d;
    // The listing meets a pipe without a reader, which ends the tool.
    const ProcessResult r =
        run(d, {"-quiet", "-idle=300", "-save=out.syx", "F0", "7D", "03", "05", "F7"}, [] {
            int gone[2];
            if (pipe(gone) == 0) {
                close(gone[0]);
                dup2(gone[1], 1);
            }
            signal(SIGPIPE, SIG_DFL);
        });
    EXPECT_EQ(r.status, -1) << "killed by SIGPIPE";
    EXPECT_TRUE(readFile(d.file("out.syx")) == bulkDump(5));
}

TEST(BulkTransfer, MalformedFilesAreRefusedBeforeAnythingIsSent) {
    struct Case {
        Bytes contents;
        std::string error;
    };
    const Case cases[] = {
        {"", "at byte offset 0: no sysex message"},
        {"\x01\xF0\xF7", "at byte offset 0: 01 where a message must start with F0"},
        {Bytes("\xF0\x01\xF7\x00\xF0\xF7", 6), "at byte offset 3: 00 where a message must start"},
        {"\xF0\x01\x80\xF7", "at byte offset 2: 80 inside a message (only 00 to 7F before its F7)"},
        {"\xF0\x01\xF0\xF7", "at byte offset 2: F0 inside a message"},
        {"\xF0\x01\xF7\xF0\x02",
         "at byte offset 5: end of file before the F7 of the message at "
         "byte offset 3"},
        // A file is a .mid by its start, whatever its name; the start of one alone is no .syx.
        {"MTh", "at byte offset 0: 4D where a message must start"},
        {midiFile(2, 10).substr(0, 30),
         "MIDI file bad.syx at byte offset 14: truncated chunk: its length is 16 bytes, the file "
         "has 8 "},
        {"MThd", "MIDI file bad.syx at byte offset 0: truncated chunk: 4 bytes where"},
    };
    Directory d;
    for (const Case& c : cases) {
        writeFile(d.file("bad.syx"), c.contents);
        const ProcessResult r = run(d, {"-send=bad.syx", "-save=out.syx"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");  // not even the usage text: nothing was opened or sent
        const std::string kind = c.error.rfind("MIDI", 0) == 0 ? "" : "sysex file bad.syx ";
        EXPECT_EQ(r.err.rfind("error: invalid " + kind + c.error, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    ProcessResult r = run(d, {"-send=missing.syx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: cannot read missing.syx: No such file or directory\n");
    writeFile(d.file("good.syx"), message(6, 0));
    r = run(d, {"-send=good.syx", "F0", "F7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("error: a message on the command line and -send=good.syx exclude "
                          "each other\n",
                          0),
              0u)
        << r.err;
    EXPECT_FALSE(fs::exists(d.file("out.syx")));
}

TEST(BulkTransfer, SaveFailuresLeaveExistingFilesWhole) {
    Directory d;
    ProcessResult r = run(d, {"-save=no-such-dir/x.syx", "F0", "7D", "03", "01", "F7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error: cannot write no-such-dir/x.syx: No such file or directory\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Press <esc>"), std::string::npos);

    // A name that fits the file system fits the save: the temporary file's name is short.
    const std::string kept(250, 'k');
    writeFile(d.file(kept), "replace me");
    r = run(d, {"-save=" + kept, "F0", "7D", "03", "01", "F7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(d.file(kept)) == bulkDump(1));
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);

    // Nothing received: no file, and standard error says so.
    r = run(d, {"-timeout=0", "-save=empty.syx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("no sysex data received from MIDI input device 0, empty.syx not "
                         "written\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(d.file("empty.syx")));
}

// Runs the tool with standard error on a pseudo-terminal (of that many columns, when given);
// what the terminal received.
std::string runWithTerminalStderr(const std::vector<std::string>& args,
                                  unsigned short columns = 0) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return "no pseudo-terminal";
    }
    const winsize size{24, columns, 0, 0};
    ioctl(master, TIOCSWINSZ, &size);
    const std::string slaveName = ptsname(master);
    // No input: the Esc wait ends at once. The terminal keeps what was written until it is read.
    runProcess(args, "", "", 20,
               [&slaveName] { dup2(open(slaveName.c_str(), O_RDWR | O_NOCTTY), 2); });
    std::string seen;
    char chunk[4096];
    pollfd readable{master, POLLIN, 0};
    while (poll(&readable, 1, 0) > 0) {
        const ssize_t got = read(master, chunk, sizeof chunk);
        if (got <= 0) {
            break;  // EIO once all is read: the child has gone
        }
        seen.append(chunk, static_cast<size_t>(got));
    }
    close(master);
    return seen;
}

TEST(BulkTransfer, ProgressLineOnATerminalOnly) {
    // 127 messages 10 ms apart: the collection lasts over a second.
    const std::string seen =
        runWithTerminalStderr({MIDIPARLEY_EXE, "-idle=300", "F0", "7D", "03", "7F", "F7"});
    const size_t progress = seen.find("\rreceiving: ");
    ASSERT_NE(progress, std::string::npos) << seen;
    EXPECT_NE(seen.find(" messages, ", progress), std::string::npos);
    EXPECT_NE(seen.find(" bytes/s", progress), std::string::npos);
    // Cleared with blanks before the next line.
    const size_t press = seen.find("Press <esc>");
    ASSERT_NE(press, std::string::npos);
    EXPECT_EQ(seen.substr(seen.rfind('\r', press - 2), 2), "\r ");
    EXPECT_EQ(seen[press - 1], '\r');
    // Not a terminal: no progress (the bulk dump case above checks the whole error stream).
    Directory d;
    const ProcessResult r = run(d, {"-idle=300", "F0", "7D", "03", "7F", "F7"});
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
}

// The rows a terminal `columns` wide shows after text, trailing blanks cut and empty rows left
// out: a character written past the last column starts the next row.
std::vector<std::string> screenRows(const std::string& text, size_t columns) {
    std::vector<std::string> rows(1);
    size_t column = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            column = 0;
            if (c == '\n') {
                rows.emplace_back();
            }
            continue;
        }
        if (column == columns) {
            rows.emplace_back();
            column = 0;
        }
        std::string& row = rows.back();
        row.resize(std::max(row.size(), column + 1), ' ');
        row[column++] = c;
    }
    std::vector<std::string> shown;
    for (std::string& row : rows) {
        row.erase(row.find_last_not_of(' ') + 1);
        if (!row.empty()) {
            shown.push_back(row);
        }
    }
    return shown;
}

TEST(BulkTransfer, ProgressLineLeavesNothingOnANarrowTerminal) {
    const std::string lines =
        "sent sysex F0 7D 03 7F F7 to MIDI output device 0\r\n"
        "awaiting sysex data from MIDI input device 0...\r\n"
        "Press <esc> to cancel the application...\r\n";
    for (const unsigned short columns : {50, 20}) {
        const std::string seen = runWithTerminalStderr(
            {MIDIPARLEY_EXE, "-idle=300", "F0", "7D", "03", "7F", "F7"}, columns);
        ASSERT_NE(seen.find("\rreceiving: "), std::string::npos) << seen;
        EXPECT_EQ(screenRows(seen, columns), screenRows(lines, columns)) << columns;
    }
}

TEST(BulkTransfer, QuietShowsNoProgressAndNoSendReport) {
    // On a terminal, a collection long enough for the progress line: nothing at all.
    EXPECT_EQ(runWithTerminalStderr(
                  {MIDIPARLEY_EXE, "-quiet", "-idle=300", "F0", "7D", "03", "7F", "F7"}),
              "");
    Directory d;
    writeFile(d.file("in.syx"), message(6, 2));
    ProcessResult r = run(d, {"-quiet", "-send=in.syx", "-idle=300"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "F0 02 03 04 05 F7 \n");
    // Without -quiet, one message is one.
    r = run(d, {"-send=in.syx", "-timeout=0"});
    EXPECT_NE(r.err.find("sent 1 sysex message (6 bytes) from in.syx"), std::string::npos) << r.err;
}

TEST(BulkTransfer, FileRoundTripThroughJack) {
    if (findProgram("jackd").empty() || access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "needs jackd and no ALSA sequencer (the tool would prefer it)";
    }
    Directory d;
    // Ten messages of 15,000 bytes and one of 40,000, which the tool's JACK output sends in parts.
    Bytes sent;
    for (unsigned i = 0; i < 10; ++i) {
        sent += message(15000, i);
    }
    sent += message(40000, 99);
    writeFile(d.file("in.syx"), sent);
    ProcessResult r, probe;
    std::string error;
    // The instrument's ports are the only MIDI ports: devices 0 (it echoes what it gets).
    const bool started = withFreshJackServer(
        JACK_INSTRUMENT_PATH, "echo",
        [&] {
            // The echo's end is known by its pause alone, which must outlast the pauses a
            // loaded machine makes in a JACK server's cycles.
            fs::remove(d.file("out.syx"));
            fs::remove(d.file("probe.syx"));
            r = run(d, {"-send=in.syx", "-idle=2000", "-save=out.syx"});
            // The JACK instrument echoes a bulk dump request the virtual instrument would answer.
            probe = run(d, {"-save=probe.syx", "F0", "7D", "03", "01", "F7"});
            return jackDidNotAnswer(r.err) || jackDidNotAnswer(probe.err);
        },
        error);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(probe.err.find("warning"), std::string::npos) << probe.err;
    EXPECT_EQ(readFile(d.file("probe.syx")), "\xF0\x7D\x03\x01\xF7");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(d.file("out.syx")) == sent);
}

// The times the instrument noted for the SysEx it received, in microseconds of its clock.
std::vector<uint64_t> instrumentArrivals(ChildProcess& instrument) {
    std::string said;
    if (write(instrument.input, "arrivals\n", 9) != 9 ||
        !awaitChildLine(instrument, "end\n", 5000, &said)) {
        return {};
    }
    std::vector<uint64_t> arrivals;
    std::istringstream lines(said);
    for (std::string word; lines >> word;) {
        if (word == "arrival") {
            arrivals.emplace_back();
            lines >> arrivals.back();
        }
    }
    return arrivals;
}

TEST(BulkTransfer, MidiFileTimesHoldThroughJack) {
    if (findProgram("jackd").empty() || access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "needs jackd and no ALSA sequencer (the tool would prefer it)";
    }
    ChildProcess server, instrument;
    std::string error;
    ASSERT_TRUE(startJackServer(server, error)) << error;
    const bool started = startInstrument(JACK_INSTRUMENT_PATH, "timed", instrument, error);
    Directory d;
    writeFile(d.file("in.mid"), midiFile(20, 100));
    ProcessResult r;
    std::vector<uint64_t> arrivals;
    if (started) {
        r = run(d, {"-send=in.mid", "-idle=300", "-save=echo.mid"});
        arrivals = instrumentArrivals(instrument);
    }
    stopChild(instrument);
    stopJackServer(server);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(arrivals.size(), 20u);
    // Counted from the first message, which has gone out when the waits begin: never early,
    // and late by no more than JACK's period (5.3 ms) and the waking of the threads.
    const uint64_t span = arrivals.back() - arrivals.front();
    EXPECT_GE(span, 1900000u);
    EXPECT_LE(span, 2000000u);
    // The instrument echoes in the cycle it receives: the saved times follow its clock.
    const Bytes saved = readFile(d.file("echo.mid"));
    MidiFileSysEx echo;
    ASSERT_TRUE(
        readMidiFile("echo.mid", std::vector<uint8_t>(saved.begin(), saved.end()), echo, error))
        << error;
    ASSERT_EQ(echo.messages.size(), 20u);
    double furthest = 0;
    for (size_t k = 0; k < 20; ++k) {
        EXPECT_EQ(echo.messages[k].bytes, (std::vector<uint8_t>{0xF0, 0x41, uint8_t(k), 0xF7}));
        const double apart =
            double(echo.messages[k].microseconds) - double(arrivals[k] - arrivals.front());
        EXPECT_LE(std::abs(apart), 10000.0) << "message " << k;
        furthest = std::max(furthest, std::abs(apart));
    }
    std::printf(
        "[ timing   ] first to last %.1f ms at the instrument; saved times within %.1f ms\n",
        span / 1000.0, furthest / 1000.0);
}

#if defined(__SANITIZE_THREAD__)
// Under ThreadSanitizer the tool's JACK client holds the server to a few periods a second, and
// 20 MB would take minutes; there the 20 MB of the virtual instrument and the small messages
// through JACK carry the case.
constexpr bool kBigDumpThroughJack = false;
#else
constexpr bool kBigDumpThroughJack = true;
#endif

TEST(BulkTransfer, DumpsBeyondTheInputBuffersArriveWholeThroughJack) {
    if (findProgram("jackd").empty() || access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "needs jackd and no ALSA sequencer (the tool would prefer it)";
    }
    std::string error;
    Directory d;
    ProcessResult many, big;
    const bool started = withFreshJackServer(
        JACK_INSTRUMENT_PATH, "dumper",
        [&] {
            // 10,000 small messages, and 20 MB at 16,000 bytes a period of 5.3 ms (about 7 s).
            // On a busy machine the server's periods can stall for a quarter of a second (its
            // cycles do not run at real-time priority here), hence the long idle time.
            many = run(d, {"-quiet", "-idle=2000", "-save=many.syx", "F0", "7D", "06", "4E", "10",
                           "00", "00", "F7"});
            if (jackDidNotAnswer(many.err)) {
                return true;
            }
            if (!kBigDumpThroughJack) {
                return false;
            }
            big = run(d,
                      {"-quiet", "-idle=2000", "-timeout=100", "-save=big.syx", "F0", "7D", "06",
                       "0F", "50", "4E", "10", "F7"},
                      outputToNull);
            return jackDidNotAnswer(big.err);
        },
        error);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(readFile(d.file("many.syx")) == largeDump(10000, 0));
    if (kBigDumpThroughJack) {
        EXPECT_EQ(big.status, 0) << big.err;
        EXPECT_TRUE(readFile(d.file("big.syx")) == largeDump(2000, 10000));
    }
}

}  // namespace
