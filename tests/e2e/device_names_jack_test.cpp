// The device list and devices chosen by name over real ports: the built executable on a JACK
// server of the test's own, with two instruments whose names overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/testing/jack_server.h"
#include "tests/e2e/e2e_cases.h"
#include "tests/e2e/run_process.h"

namespace {

// "box:in" is also a part of the long name's input port, which is longer than the 31
// characters a capability record holds.
const std::string kLong = "test-instrument-with-a-long-name-in-a-box";

ProcessResult run(std::vector<std::string> args) {
    args.insert(args.begin(), MIDIPARLEY_DEFAULT_EXE);
    ProcessResult result = runProcess(args, "\x1b", "/", 60);
    EXPECT_FALSE(result.timedOut);
    return result;
}

ProcessResult identityExchange(const std::string& out, const std::string& in) {
    return run(
        {"-midiout=" + out, "-midiin=" + in, "-timeout=10", "F0", "7E", "7F", "06", "01", "F7"});
}

// The answer to the identity request sent to `device`.
void expectIdentityAnswer(const ProcessResult& r, int device) {
    const std::string n = std::to_string(device);
    EXPECT_EQ(r.err, "sent sysex F0 7E 7F 06 01 F7 to MIDI output device " + n +
                         "\nawaiting sysex data from MIDI input device " + n +
                         "...\nPress <esc> to cancel the application...\n");
    EXPECT_EQ(r.out, kUsage + "F0 7E 00 06 02 7D 01 00 01 00 01 00 00 00 F7 \n");
    EXPECT_EQ(r.status, 0);
}

TEST(DeviceNamesOnJack, ListAndChooseByWholeNameOrPart) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    std::vector<ProcessResult> r;
    std::string error;
    bool started = false;
    for (int attempt = 0; attempt < kJackAttempts; ++attempt) {
        ChildProcess server, box, longBox;
        started = startJackServer(server, error) &&
                  startInstrument(JACK_INSTRUMENT_PATH, "box", box, error) &&
                  startInstrument(JACK_INSTRUMENT_PATH, kLong.c_str(), longBox, error);
        if (started) {
            // A listing chooses no device, so a name of several is no error there.
            r = {run({"-list", "-midiin=box"}),
                 identityExchange("BOX:IN", "box:out"),          // whole names: device 0
                 identityExchange("long-NAME", "in-a-box:out"),  // parts of one name: device 1
                 run({"-midiout=X:IN"})};
        }
        stopChild(longBox);
        stopChild(box);
        stopJackServer(server);
        if (!started || std::none_of(r.begin(), r.end(), [](const ProcessResult& each) {
                return jackDidNotAnswer(each.err);
            })) {
            break;
        }
    }
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(r[0].out, "MIDI input devices:\n0: box:out\n1: " + kLong +
                            ":out\n2: midiparley virtual instrument\nMIDI output devices:\n"
                            "0: box:in\n1: " +
                            kLong + ":in\n2: midiparley virtual instrument\n");
    EXPECT_EQ(r[0].err + std::to_string(r[0].status), "0");
    expectIdentityAnswer(r[1], 0);
    expectIdentityAnswer(r[2], 1);
    EXPECT_EQ(r[3].err,
              "error: -midiout=X:IN matches several MIDI output devices: 0 \"box:in\", 1 \"" +
                  kLong + ":in\"\n");
    EXPECT_EQ(r[3].out + std::to_string(r[3].status), kUsage + "1");
}

}  // namespace
