// The device list and devices chosen by name over real ports: the built executable on a JACK
// server of the test's own, with two instruments whose names overlap.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/posix/testing/jack_server.h"
#include "platform/posix/winmm/instrument_answers.h"
#include "tests/e2e/e2e_cases.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/listing.h"

namespace {

// "box:in" is also a part of the long name's input port, which is longer than the 31
// characters a capability record holds.
const std::string kLong = "test-instrument-with-a-long-name-in-a-box";

// Thrown by run() when the tool found the server too slow: the case starts again.
struct ServerDidNotAnswer {};

ProcessResult run(std::vector<std::string> args) {
    args.insert(args.begin(), MIDIPARLEY_DEFAULT_EXE);
    ProcessResult result = runProcess(args, "\x1b", "/", 60);
    EXPECT_FALSE(result.timedOut);
    if (jackDidNotAnswer(result.err)) {
        throw ServerDidNotAnswer{};
    }
    return result;
}

// Sends the identity request to the devices named, which must both be device `device`.
void expectIdentityExchange(const std::string& out, const std::string& in, int device) {
    const ProcessResult r = run(
        {"-midiout=" + out, "-midiin=" + in, "-timeout=10", "F0", "7E", "7F", "06", "01", "F7"});
    const std::string n = std::to_string(device);
    EXPECT_EQ(r.err, "sent sysex F0 7E 7F 06 01 F7 to MIDI output device " + n +
                         "\nawaiting sysex data from MIDI input device " + n +
                         "...\nPress <esc> to cancel the application...\n")
        << out << ", " << in;
    EXPECT_EQ(r.out, kUsage + listing(identityReply()));
    EXPECT_EQ(r.status, 0);
}

// Runs check with a JACK server of its own holding two instruments of those names, on a fresh
// server each time the tool found one too slow (kJackAttempts in all).
void withInstruments(const char* first, const char* second, const std::function<void()>& check) {
    for (int attempt = 1;; ++attempt) {
        ChildProcess server, one, two;
        std::string error;
        const bool started =
            startJackWithInstrument(JACK_INSTRUMENT_PATH, first, server, one, error) &&
            startInstrument(JACK_INSTRUMENT_PATH, second, two, error);
        bool answered = true;
        if (started) {
            try {
                check();
            } catch (const ServerDidNotAnswer&) {
                answered = false;
            }
        }
        stopChild(two);
        stopChild(one);
        stopJackServer(server);
        EXPECT_TRUE(started) << error;
        if (answered || attempt == kJackAttempts) {
            EXPECT_TRUE(answered) << "the JACK server did not answer the tool in any attempt";
            return;
        }
    }
}

TEST(DeviceNamesOnJack, ListAndChooseByWholeNameOrPart) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    withInstruments("box", kLong.c_str(), [] {
        // A listing chooses no device, so a name of several is no error there.
        ProcessResult r = run({"-list", "-midiin=box"});
        EXPECT_EQ(r.out, "MIDI input devices:\n0: box:out\n1: " + kLong +
                             ":out\n2: midiparley virtual instrument\nMIDI output devices:\n"
                             "0: box:in\n1: " +
                             kLong + ":in\n2: midiparley virtual instrument\n");
        EXPECT_EQ(r.err + std::to_string(r.status), "0");

        expectIdentityExchange("BOX:IN", "box:out", 0);          // whole names
        expectIdentityExchange("long-NAME", "in-a-box:out", 1);  // parts of one name

        r = run({"-midiout=X:IN"});
        EXPECT_EQ(r.err,
                  "error: -midiout=X:IN matches several MIDI output devices: 0 \"box:in\", "
                  "1 \"" +
                      kLong + ":in\"\n");
        EXPECT_EQ(r.out + std::to_string(r.status), kUsage + "1");
    });
}

// Names beyond ASCII: one with an escape sequence is shown escaped, in the listing and in the
// error about several matches; letter case is ignored in Latin and Cyrillic letters too.
TEST(DeviceNamesOnJack, ControlCharactersEscapedAndCaseFoldedBeyondAscii) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    withInstruments("Sïnth-пор", "\x1b[7mred", [] {
        ProcessResult r = run({"-list"});
        EXPECT_EQ(r.out,
                  "MIDI input devices:\n0: Sïnth-пор:out\n1: \\x1B[7mred:out\n"
                  "2: midiparley virtual instrument\nMIDI output devices:\n0: Sïnth-пор:in\n"
                  "1: \\x1B[7mred:in\n2: midiparley virtual instrument\n");
        expectIdentityExchange("SÏNTH", "ПОР:OUT", 0);
        r = run({"-midiout=:IN"});
        EXPECT_EQ(r.err,
                  "error: -midiout=:IN matches several MIDI output devices: 0 \"Sïnth-пор:in\", "
                  "1 \"\\x1B[7mred:in\"\n");
    });
}

}  // namespace
