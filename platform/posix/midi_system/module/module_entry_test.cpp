// The module's entries as the program calls them, with the module's code linked in: an open
// given up on keeps the program's device until the module lets go of it, and no entry throws.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/midi_system/module/jack_input.h"
#include "platform/posix/midi_system/module/jack_output.h"
#include "platform/posix/midi_system/module/session.h"
#include "platform/posix/testing/jack_server.h"
#include "platform/posix/testing/replaced_new.h"
#include "platform/posix/winmm/instrument_answers.h"

extern "C" const MidiSystemPorts* midiSystemPorts(const MidiSystemProgram* program) noexcept;

namespace {

thread_local bool failNextAllocation = false;

// What the program's side sees: a device that bytes may reach until the module lets go.
struct Device {
    bool released = false;
};

struct Program {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> reports;
    int arrivals = 0;
    int arrivalsAfterRelease = 0;
    int releases = 0;
    bool holdDeliveries = false;  // each delivery waits until this is cleared (bounded)
};
// Never destroyed: JACK's threads may still report while the process exits.
Program& program = *new Program;

void arrived(void* device, const BYTE*, size_t) {
    std::unique_lock<std::mutex> lock(program.mutex);
    ++program.arrivals;
    program.arrivalsAfterRelease += static_cast<Device*>(device)->released;
    program.changed.notify_all();
    program.changed.wait_for(lock, std::chrono::seconds(10),
                             [] { return !program.holdDeliveries; });
}

void released(void* device) {
    std::lock_guard<std::mutex> lock(program.mutex);
    static_cast<Device*>(device)->released = true;
    ++program.releases;
    program.changed.notify_all();
}

void report(const char* line) {
    std::lock_guard<std::mutex> lock(program.mutex);
    program.reports.push_back(line);
}

void setHold(bool hold) {
    std::lock_guard<std::mutex> lock(program.mutex);
    program.holdDeliveries = hold;
    program.changed.notify_all();
}

template <typename Condition>
bool awaitProgram(Condition condition) {
    std::unique_lock<std::mutex> lock(program.mutex);
    return program.changed.wait_for(lock, std::chrono::seconds(10), condition);
}

void lost(void*, size_t) {}

const MidiSystemProgram kProgram = {arrived, lost, released, report};

int portNumber(const MidiSystemPorts* ports, bool input, const std::string& name) {
    const unsigned count = input ? ports->inputCount() : ports->outputCount();
    for (unsigned i = 0; i < count; ++i) {
        char text[512];
        (input ? ports->inputName : ports->outputName)(i, text, sizeof text);
        if (name == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST(ModuleEntries, NoneThrowsWhenMemoryRunsOut) {
    const MidiSystemPorts* ports = midiSystemPorts(&kProgram);
    Device device;
    void* port = nullptr;
    failNextAllocation = true;
    EXPECT_EQ(ports->openInput(0, &device, &port), MMSYSERR_NOMEM);
    EXPECT_TRUE(device.released);
    failNextAllocation = true;
    EXPECT_EQ(ports->openOutput(0, &port), MMSYSERR_NOMEM);
    failNextAllocation = true;
    EXPECT_EQ(ports->inputCount(), 0u);
    char name[8] = "x";
    failNextAllocation = true;
    ports->outputName(0, name, sizeof name);
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(failNextAllocation);  // each call met the failure
}

TEST(ModuleEntries, AnInputCloseOrOpenGivenUpOnKeepsItsDeviceUntilTheModuleLetsGo) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    ChildProcess server;
    ChildProcess instrument;
    std::string error;
    ASSERT_TRUE(
        startJackWithInstrument(JACK_INSTRUMENT_PATH, "late-instrument", server, instrument, error))
        << error;
    const MidiSystemPorts* ports = midiSystemPorts(&kProgram);
    MidiSystemSession& session = *startSession(kProgram);
    {
        std::lock_guard<std::mutex> lock(program.mutex);
        program.releases = 0;  // the other case's device
    }
    const int in = portNumber(ports, true, "late-instrument:out");
    const int out = portNumber(ports, false, "late-instrument:in");
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    Device closed;
    Device late;
    void* input = nullptr;
    void* output = nullptr;
    ASSERT_EQ(ports->openInput(in, &closed, &input), MMSYSERR_NOERROR);
    ASSERT_TRUE(awaitChildLine(instrument, "connected\n", 10000));
    ASSERT_EQ(ports->openOutput(out, &output), MMSYSERR_NOERROR);
    // A long dump: bytes keep arriving for about two seconds of cycles.
    const BYTE request[] = {0xF0, 0x7D, 0x05, 0x7F, 0xF7};
    setHold(true);
    ASSERT_EQ(ports->sendShort(output, request, sizeof request), MMSYSERR_NOERROR);
    ports->closeOutput(output);
    ASSERT_TRUE(awaitProgram([] { return program.arrivals > 0; }));

    // The close is given up on while a delivery is still running: the device stays.
    session.answerBound = std::chrono::milliseconds(0);
    ports->closeInput(input);
    EXPECT_TRUE(awaitProgram([] { return program.releases == 0; }));
    setHold(false);
    EXPECT_TRUE(awaitProgram([] { return program.releases == 1; }));

    // An open given up on at once connects all the same, then closes on the module's thread.
    session.silent = false;  // the call that did not answer has ended
    EXPECT_EQ(ports->openInput(in, &late, &input), MMSYSERR_ERROR);
    EXPECT_TRUE(awaitChildLine(instrument, "connected\n", 10000));
    EXPECT_TRUE(awaitProgram([] { return program.releases == 2; }));
    {
        std::lock_guard<std::mutex> lock(program.mutex);
        EXPECT_EQ(program.arrivalsAfterRelease, 0);
        EXPECT_EQ(program.reports,
                  std::vector<std::string>(2,
                                           "midiparley: the JACK server did not answer within 0 "
                                           "seconds; going on without its ports"));
    }
    // Answering again, the module closes its JACK client at exit.
    session.answerBound = kAnswerBound;
    session.silent = false;
    stopChild(instrument);
    stopJackServer(server);
}

}  // namespace

// Fails the test thread's next allocation when asked; the module's entries make theirs there.
bool allocationAllowed(size_t) {
    const bool fail = failNextAllocation;
    failNextAllocation = false;
    return !fail;
}

namespace {

// What a JACK input handed on and what it counted as lost.
struct JackInputTotals {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<BYTE> forwarded;
    size_t lost = 0;
};

void forwardTo(void* context, const BYTE* bytes, size_t count) {
    JackInputTotals& totals = *static_cast<JackInputTotals*>(context);
    std::lock_guard<std::mutex> lock(totals.mutex);
    totals.forwarded.insert(totals.forwarded.end(), bytes, bytes + count);
    totals.changed.notify_all();
}

void countLost(void* context, size_t count) {
    JackInputTotals& totals = *static_cast<JackInputTotals*>(context);
    std::lock_guard<std::mutex> lock(totals.mutex);
    totals.lost += count;
    totals.changed.notify_all();
}

TEST(JackInput, ASysExMessageWithoutRoomInTheRingIsCountedAsLost) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    ChildProcess server;
    ChildProcess instrument;
    std::string error;
    ASSERT_TRUE(
        startJackWithInstrument(JACK_INSTRUMENT_PATH, "ring-instrument", server, instrument, error))
        << error;
    // A ring of 1,024 bytes: the 2,004-byte dump never fits, the identity reply after it does.
    JackInputTotals totals;
    JackInput* input =
        openJackInput("ring-test-in", "ring-instrument:out", forwardTo, countLost, &totals, 1024);
    ASSERT_NE(input, nullptr);
    ASSERT_TRUE(awaitChildLine(instrument, "connected\n", 10000));
    JackOutput* output = openJackOutput("ring-test-out", "ring-instrument:in");
    ASSERT_NE(output, nullptr);
    const BYTE dumpRequest[] = {0xF0, 0x7D, 0x01, 0x0F, 0x50, 0xF7};  // 15 * 128 + 80 bytes
    const BYTE identityRequest[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    EXPECT_TRUE(sendJackOutput(output, dumpRequest, 6, std::chrono::seconds(5)));
    EXPECT_TRUE(sendJackOutput(output, identityRequest, 6, std::chrono::seconds(5)));
    {
        std::unique_lock<std::mutex> lock(totals.mutex);
        EXPECT_TRUE(totals.changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return totals.forwarded.size() >= sizeof kIdentityReplyBytes && totals.lost > 0;
        }));
        EXPECT_EQ(totals.lost, 2004u);
        EXPECT_EQ(totals.forwarded, identityReply());
    }
    closeJackOutput(output);
    closeJackInput(input);
    stopChild(instrument);
    stopJackServer(server);
}

}  // namespace
