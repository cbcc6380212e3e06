// Real MIDI ports: a JACK server of the test's own with the dummy driver, and the tests'
// instrument on it, reached through the MIDI functions like any device.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/testing/jack_server.h"
#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/posix/winmm/instrument_answers.h"

namespace {

// Long enough to be cut in the capability record: 37 characters before ":out".
const char kInstrumentClient[] = "jack-test-instrument-with-a-long-name";

// A SysEx message of `length` bytes whose byte i is i AND 7F between F0 and F7.
std::vector<BYTE> countingSysEx(size_t length) {
    std::vector<BYTE> message(length);
    for (size_t i = 0; i < length; ++i) {
        message[i] = static_cast<BYTE>(i & 0x7F);
    }
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

// The bytes of every SysEx buffer received, joined.
std::vector<BYTE> bytesReceived(InputRecorder& recorder) {
    std::vector<BYTE> bytes;
    for (const ReceivedEvent& buffer : recorder.ofType(MIM_LONGDATA)) {
        bytes.insert(bytes.end(), buffer.bytes.begin(), buffer.bytes.end());
    }
    return bytes;
}

std::string capsName(const std::string& port) {
    return (std::string(kInstrumentClient) + ":" + port).substr(0, MAXPNAMELEN - 1);
}

class JackPorts : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (findProgram("jackd").empty()) {
            return;  // every case skips
        }
        if (startJackServer(server_, startError_)) {
            startInstrument(JACK_INSTRUMENT_PATH, kInstrumentClient, instrument_, startError_);
        }
    }

    static void TearDownTestSuite() {
        stopChild(instrument_);
        stopJackServer(server_);
    }

    void SetUp() override {
        if (findProgram("jackd").empty()) {
            GTEST_SKIP() << "jackd is not installed";
        }
        ASSERT_TRUE(startError_.empty()) << startError_;
        inDevice_ = findInputDevice(capsName("out"));
        outDevice_ = findOutputDevice(capsName("in"));
        ASSERT_GE(inDevice_, 0) << "no input device named " << capsName("out");
        ASSERT_GE(outDevice_, 0) << "no output device named " << capsName("in");
    }

    void TearDown() override {
        input_.close();
        if (out_ != nullptr) {
            EXPECT_EQ(midiOutClose(out_), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        }
    }

    void openStarted(size_t buffers) {
        ASSERT_EQ(input_.open(inDevice_, recorder_, buffers, 1024), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInStart(input_.handle), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutOpen(&out_, outDevice_, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    }

    static ChildProcess server_;
    static ChildProcess instrument_;
    static std::string startError_;
    int inDevice_ = -1;
    int outDevice_ = -1;
    InputRecorder recorder_;
    OpenInput input_;
    HMIDIOUT out_ = nullptr;
};

ChildProcess JackPorts::server_;
ChildProcess JackPorts::instrument_;
std::string JackPorts::startError_;

TEST_F(JackPorts, RealPortsComeBeforeTheVirtualInstrument) {
    EXPECT_EQ(virtualInstrumentInputId(), static_cast<int>(midiInGetNumDevs()) - 1);
    EXPECT_EQ(virtualInstrumentOutputId(), static_cast<int>(midiOutGetNumDevs()) - 1);
    EXPECT_LT(inDevice_, virtualInstrumentInputId());
    EXPECT_LT(outDevice_, virtualInstrumentOutputId());
    // Opening ports of our own adds no devices.
    UINT inputs = midiInGetNumDevs();
    UINT outputs = midiOutGetNumDevs();
    openStarted(1);
    EXPECT_EQ(midiInGetNumDevs(), inputs);
    EXPECT_EQ(midiOutGetNumDevs(), outputs);
}

TEST_F(JackPorts, DeviceInquiryGetsTheInstrumentsIdentityReply) {
    openStarted(4);
    ASSERT_EQ(sendLong(out_, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0].bytes, identityReply());
}

TEST_F(JackPorts, AnswerOf3000BytesFillsThreeBuffers) {
    openStarted(4);
    ASSERT_EQ(sendLong(out_, {0xF0, 0x7D, 0x01, 0x17, 0x34, 0xF7}), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
    ASSERT_EQ(buffers.size(), 3u);
    EXPECT_EQ(buffers[0].bytes.size(), 1024u);
    EXPECT_EQ(buffers[1].bytes.size(), 1024u);
    EXPECT_EQ(buffers[2].bytes.size(), 952u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers[i].param1, reinterpret_cast<DWORD_PTR>(&input_.headers[i]));
    }
    EXPECT_EQ(buffers[1].bytes[0], 1021 & 0x7F);  // the 1022nd data byte
    EXPECT_EQ(buffers[2].bytes.back(), 0xF7);
}

TEST_F(JackPorts, NothingIsLostOver200RoundTrips) {
    openStarted(256);
    for (int i = 0; i < 200; ++i) {
        std::vector<BYTE> request =
            i % 2 ? std::vector<BYTE>{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}
                  : std::vector<BYTE>{0xF0, 0x7D, 0x01, 0x00, static_cast<BYTE>(i % 100), 0xF7};
        ASSERT_EQ(sendLong(out_, request), MMSYSERR_NOERROR);
        ASSERT_TRUE(recorder_.awaitSysExEnd(static_cast<size_t>(i + 1))) << "round trip " << i;
    }
    std::vector<ReceivedEvent> buffers = recorder_.ofType(MIM_LONGDATA);
    ASSERT_EQ(buffers.size(), 200u);
    for (int i = 0; i < 200; i += 2) {
        EXPECT_EQ(buffers[i].bytes.size(), static_cast<size_t>(i % 100 + 4));
    }
}

TEST_F(JackPorts, LongMessagesGoOutInPartsAndArriveWhole) {
    // Far longer than a part: the parts go as MIDI events of their own, and the input joins them.
    openStarted(64);
    const std::vector<BYTE> message = countingSysEx(40000);
    ASSERT_EQ(sendLong(out_, message), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    EXPECT_EQ(bytesReceived(recorder_), message);
}

TEST(SlowJackServer, ALongMessageWaitsForRoomAndArrivesWhole) {
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    ChildProcess server;
    ChildProcess instrument;
    std::string error;
    // A period of 8192 frames at 48 kHz (171 ms), longer than a sender might take two cycles
    // to last.
    ASSERT_TRUE(startJackWithInstrument(JACK_INSTRUMENT_PATH, "slow-instrument", server, instrument,
                                        error, 8192))
        << error;
    InputRecorder recorder;
    OpenInput input;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(input.open(findInputDevice("slow-instrument:out"), recorder, 320, 1024),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(input.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, findOutputDevice("slow-instrument:in"), 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    // More cycles than the two-second bound of a call holds: each part goes when there is room.
    const std::vector<BYTE> message = countingSysEx(300000);
    EXPECT_EQ(sendLong(out, message), MMSYSERR_NOERROR);
    EXPECT_TRUE(recorder.awaitSysExEnd(1, 20000));
    EXPECT_EQ(bytesReceived(recorder), message);
    midiOutClose(out);
    input.close();
    stopChild(instrument);
    stopJackServer(server);
}

}  // namespace
