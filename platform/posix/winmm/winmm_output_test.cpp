// MIDI output and device information through the virtual instrument.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/testing/virtual_instrument_control.h"

namespace {

const char kVirtualName[] = "midiparley virtual instrument";

// In a process of its own (the test re-runs the executable), as the program runs.
TEST(VirtualInstrumentLog, TheProgramKeepsNoneHoweverMuchItSends) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto sendMany = [] {
        HMIDIOUT out = nullptr;
        if (midiOutOpen(&out, virtualInstrumentOutputId(), 0, 0, CALLBACK_NULL) != 0) {
            std::exit(2);
        }
        std::vector<BYTE> message = {0xF0, 0x01, 0xF7};
        MIDIHDR header{};
        header.lpData = reinterpret_cast<LPSTR>(message.data());
        header.dwBufferLength = 3;
        midiOutPrepareHeader(out, &header, sizeof header);
        for (int i = 0; i < 1000; ++i) {
            midiOutShortMsg(out, 0x403090);
            midiOutLongMsg(out, &header, sizeof header);
        }
        const bool kept =
            !virtualInstrumentShortMessages().empty() || !virtualInstrumentLongMessages().empty();
        std::exit(kept ? 1 : 0);
    };
    EXPECT_EXIT(sendMany(), testing::ExitedWithCode(0), "");
}

class VirtualOutput : public testing::Test {
  protected:
    void SetUp() override {
        virtualInstrumentResetControl();
        inDevice_ = virtualInstrumentInputId();
        outDevice_ = virtualInstrumentOutputId();
        ASSERT_GE(inDevice_, 0);
        ASSERT_GE(outDevice_, 0);
        ASSERT_EQ(midiOutOpen(&out_, outDevice_, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        header_.lpData = reinterpret_cast<LPSTR>(request_.data());
        header_.dwBufferLength = static_cast<DWORD>(request_.size());
    }

    void TearDown() override {
        virtualInstrumentResetControl();
        input_.close();
        EXPECT_EQ(midiOutClose(out_), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    }

    void listen() {
        ASSERT_EQ(input_.open(inDevice_, recorder_, 4, 64), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInStart(input_.handle), MMSYSERR_NOERROR);
    }

    int inDevice_ = -1;
    int outDevice_ = -1;
    HMIDIOUT out_ = nullptr;
    std::vector<BYTE> request_ = {0xF0, 0x7E, 0x10, 0x06, 0x01, 0xF7};
    MIDIHDR header_{};
    InputRecorder recorder_;
    OpenInput input_;
};

TEST_F(VirtualOutput, LongMessageNeedsPreparedHeaderAndIsDoneOnReturn) {
    EXPECT_EQ(midiOutLongMsg(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MIDIERR_UNPREPARED));
    ASSERT_EQ(midiOutPrepareHeader(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    EXPECT_EQ(header_.dwFlags, static_cast<DWORD>(MHDR_PREPARED));
    ASSERT_EQ(midiOutLongMsg(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    EXPECT_EQ(header_.dwFlags, static_cast<DWORD>(MHDR_PREPARED | MHDR_DONE));
    ASSERT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    EXPECT_EQ(header_.dwFlags & MHDR_PREPARED, 0u);
    EXPECT_EQ(virtualInstrumentLongMessages(), std::vector<std::vector<BYTE>>{request_});
    EXPECT_EQ(midiOutLongMsg(out_, &header_, 4), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(midiOutLongMsg(nullptr, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

TEST_F(VirtualOutput, HeldLongMessageStaysPlayingAndIsAnsweredOnlyWhenReleased) {
    listen();
    virtualInstrumentHoldNextLongMessage(kHoldUntilReleased);
    ASSERT_EQ(midiOutPrepareHeader(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    EXPECT_EQ(midiOutLongMsg(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    EXPECT_EQ(midiOutClose(out_), static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_TRUE(recorder_.ofType(MIM_LONGDATA).empty());
    EXPECT_TRUE(virtualInstrumentLongMessages().empty());

    virtualInstrumentReleaseHeld();
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    EXPECT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(header_.dwFlags, static_cast<DWORD>(MHDR_DONE));
    EXPECT_EQ(virtualInstrumentLongMessages().size(), 1u);
}

TEST_F(VirtualOutput, TimedHoldEndsByItselfAfterItsMilliseconds) {
    listen();
    virtualInstrumentHoldNextLongMessage(40);
    ASSERT_EQ(midiOutPrepareHeader(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    DWORD sent = timeGetTime();
    ASSERT_EQ(midiOutLongMsg(out_, &header_, sizeof header_), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MIDIERR_STILLPLAYING));
    ASSERT_TRUE(recorder_.awaitSysExEnd(1));
    EXPECT_GE(timeGetTime() - sent, 39u);
    EXPECT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    // Only the next message was held.
    ASSERT_EQ(sendLong(out_, request_), MMSYSERR_NOERROR);
    EXPECT_EQ(virtualInstrumentLongMessages().size(), 2u);
}

TEST_F(VirtualOutput, InjectedFailuresHitOnlyTheNextCall) {
    HMIDIOUT other = reinterpret_cast<HMIDIOUT>(1);
    virtualInstrumentFailNext(VirtualFailPoint::OutOpen, MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiOutOpen(&other, outDevice_, 0, 0, CALLBACK_NULL),
              static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(other, nullptr);
    ASSERT_EQ(midiOutOpen(&other, outDevice_, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(other), static_cast<MMRESULT>(MMSYSERR_NOERROR));

    virtualInstrumentFailNext(VirtualFailPoint::InOpen, MMSYSERR_NOMEM);
    HMIDIIN in = nullptr;
    EXPECT_EQ(midiInOpen(&in, inDevice_, reinterpret_cast<DWORD_PTR>(&InputRecorder::callback),
                         reinterpret_cast<DWORD_PTR>(&recorder_), CALLBACK_FUNCTION),
              static_cast<MMRESULT>(MMSYSERR_NOMEM));
    EXPECT_TRUE(recorder_.events().empty());

    virtualInstrumentFailNext(VirtualFailPoint::OutPrepare, MMSYSERR_NOMEM);
    EXPECT_EQ(midiOutPrepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_NOMEM));
    EXPECT_EQ(header_.dwFlags & MHDR_PREPARED, 0u);
    ASSERT_EQ(midiOutPrepareHeader(out_, &header_, sizeof header_), MMSYSERR_NOERROR);

    virtualInstrumentFailNext(VirtualFailPoint::OutLongMsg, MMSYSERR_ERROR);
    EXPECT_EQ(midiOutLongMsg(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_ERROR));
    EXPECT_EQ(header_.dwFlags & (MHDR_INQUEUE | MHDR_DONE), 0u);
    EXPECT_TRUE(virtualInstrumentLongMessages().empty());
    EXPECT_EQ(midiOutLongMsg(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(virtualInstrumentLongMessages().size(), 1u);
    EXPECT_EQ(midiOutUnprepareHeader(out_, &header_, sizeof header_),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

TEST_F(VirtualOutput, ShortMessagesAreCountedAndEchoedOnTheInput) {
    listen();
    ASSERT_EQ(midiOutShortMsg(out_, 0x00643C90), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out_, 0x00FF07C5), MMSYSERR_NOERROR);  // two bytes only
    ASSERT_EQ(midiOutShortMsg(out_, 0x000000F8), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out_, 0x0000643C), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(midiOutShortMsg(out_, 0x000000F0), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(virtualInstrumentShortMessages(), (std::vector<DWORD>{0x643C90, 0x07C5, 0xF8}));
    ASSERT_TRUE(recorder_.awaitCount(MIM_DATA, 3));
    std::vector<ReceivedEvent> echoed = recorder_.ofType(MIM_DATA);
    EXPECT_EQ(echoed[0].param1, 0x643C90u);
    EXPECT_EQ(echoed[1].param1, 0x07C5u);
    EXPECT_EQ(echoed[2].param1, 0xF8u);

    virtualInstrumentEchoShortMessages(false);
    ASSERT_EQ(midiOutShortMsg(out_, 0x00403C80), MMSYSERR_NOERROR);
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(2000));
    EXPECT_EQ(recorder_.ofType(MIM_DATA).size(), 3u);
    EXPECT_EQ(virtualInstrumentShortMessages().size(), 4u);
}

TEST(MidiDevices, VirtualInstrumentIsTheLastDeviceWithItsNameInTheCapabilities) {
    UINT inputs = midiInGetNumDevs();
    UINT outputs = midiOutGetNumDevs();
    ASSERT_GE(inputs, 1u);
    ASSERT_GE(outputs, 1u);
    MIDIINCAPSA inCaps;
    std::memset(&inCaps, 0x55, sizeof inCaps);
    ASSERT_EQ(midiInGetDevCapsA(inputs - 1, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
    EXPECT_STREQ(inCaps.szPname, kVirtualName);
    MIDIOUTCAPSA outCaps{};
    ASSERT_EQ(midiOutGetDevCapsA(outputs - 1, &outCaps, sizeof outCaps), MMSYSERR_NOERROR);
    EXPECT_STREQ(outCaps.szPname, kVirtualName);

    EXPECT_EQ(midiInGetDevCapsA(inputs, &inCaps, sizeof inCaps),
              static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(midiOutGetDevCapsA(outputs, &outCaps, sizeof outCaps),
              static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(midiOutGetDevCapsA(UINT_PTR{1} << 40, &outCaps, sizeof outCaps),
              static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(midiInGetDevCapsA(0, nullptr, sizeof inCaps),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    HMIDIOUT out = nullptr;
    EXPECT_EQ(midiOutOpen(&out, outputs, 0, 0, CALLBACK_NULL),
              static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));

    // A short record is filled only as far as it reaches.
    std::memset(&inCaps, 0x55, sizeof inCaps);
    ASSERT_EQ(midiInGetDevCapsA(inputs - 1, &inCaps, offsetof(MIDIINCAPSA, szPname) + 4),
              MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(inCaps.szPname, 4), "midi");
    EXPECT_EQ(inCaps.szPname[4], 0x55);
}

TEST(MidiDevices, MultimediaClockIsTheTickCountClock) {
    DWORD before = GetTickCount();
    DWORD media = timeGetTime();
    DWORD after = GetTickCount();
    EXPECT_LE(media - before, after - before);
}

}  // namespace
