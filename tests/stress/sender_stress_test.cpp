// Sending while recording, many times over: an answer that arrives while the output is being
// opened or the request is being sent, and a device that refuses the request.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "driver/answer_wait.h"
#include "midi/recorder_test_support.h"
#include "midi/sysex_sender.h"
#include "tests/stress/stress_support.h"

namespace {

// The SysEx buffers recorded so far, in order, as byte strings.
std::vector<std::vector<BYTE>> recordedSysEx(const MidiInRecorder& recorder) {
    std::vector<std::vector<BYTE>> buffers;
    const int32_t count = publishedEventCount(recorder);
    for (int32_t i = 0; i < count; ++i) {
        const RecordedEvent& event = recorder.events[i];
        if (event.status == 0xF0) {
            const MIDIHDR& header = sysExBuffers[event.data1 + 256 * event.data2];
            buffers.emplace_back(header.lpData, header.lpData + header.dwBytesRecorded);
        }
    }
    return buffers;
}

// The sender as the exchange sets it up for an output it has opened.
void equipSender(SysExSender& sender, HMIDIOUT handle, UINT device) {
    sender.deviceId = static_cast<int32_t>(device);
    sender.waitMs = 1;
    sender.outHandle = handle;
    sender.cancelled = 0;
    sender.abortFlag = nullptr;
}

enum class AnswerTiming { RacingTheOpen, BetweenOpenAndSend, WhileTheRequestPlays };

// Joins the thread on every way out of a round, a failed assertion included.
struct JoinAtExit {
    std::thread& thread;
    ~JoinAtExit() {
        if (thread.joinable()) {
            thread.join();
        }
    }
};

// The recorder's own fixture: the one process-wide recorder closed and its counters reset
// around each case.
class SenderStressTest : public RecorderTest {};

}  // namespace

// The instrument's answer is played in while the exchange opens its output, just before it
// sends, or while the request is still playing. Every time the answer is recorded whole, the
// wait finds it, and the instrument's echo of the request follows it in its own buffer.
TEST_F(SenderStressTest, AnAnswerArrivingDuringOpenOrSendIsRecordedAndFound) {
    const UINT out = virtualInstrumentOutputId();
    const auto deadline = stressDeadline(20);
    int32_t rounds = 0;
    for (; rounds < 150 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        const AnswerTiming timing = static_cast<AnswerTiming>(rounds % 3);
        const BYTE id = static_cast<BYTE>(rounds & 0x7F);
        const std::vector<BYTE> request = {0xF0, 0x7D, 0x10, id, 0xF7};  // echoed as it is
        const std::vector<BYTE> answer = {0xF0, 0x7D, 0x20, id, 0x11, 0x22, 0xF7};
        recorder.eventCount.store(0);
        recorder.byteCount.store(0);
        recorder.recordShortMessages = 0;
        ASSERT_EQ(openRecorder(recorder), 1);

        std::atomic<bool> go{false};
        std::atomic<bool> played{false};
        std::atomic<bool> sendReturned{false};
        std::atomic<bool> returnedWhilePlaying{false};
        std::thread instrument;
        JoinAtExit joinInstrument{instrument};
        if (timing == AnswerTiming::WhileTheRequestPlays) {
            virtualInstrumentHoldNextLongMessage(kHoldUntilReleased);
            // The request stays playing until the answer is in; only then is it let go.
            instrument = std::thread([&] {
                awaitUntil([&] { return go.load(); }, stressDeadline(10));
                virtualInstrumentInject(answer);
                // A sender that let go of its header while the request still plays would
                // return within this window; a right one waits for the release below.
                returnedWhilePlaying.store(
                    awaitUntil([&] { return sendReturned.load(); }, stressDeadlineMs(20)));
                played.store(awaitUntil(
                    [&] {
                        virtualInstrumentReleaseHeld();
                        return !virtualInstrumentLongMessages().empty();
                    },
                    stressDeadline(10)));
            });
        } else if (timing == AnswerTiming::RacingTheOpen) {
            instrument = std::thread([&] {
                awaitUntil([&] { return go.load(); }, stressDeadline(10));
                virtualInstrumentInject(answer);
            });
            go.store(true);
        }

        HMIDIOUT handle = nullptr;
        ASSERT_EQ(midiOutOpen(&handle, out, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        SysExSender sender;
        equipSender(sender, handle, out);
        if (timing == AnswerTiming::BetweenOpenAndSend) {
            virtualInstrumentInject(answer);  // still on its way while the request goes out
        } else if (timing == AnswerTiming::WhileTheRequestPlays) {
            go.store(true);
        }
        EXPECT_EQ(sendSysEx(sender, request.data(), static_cast<int32_t>(request.size())), 1);
        sendReturned.store(true);
        closeSender(sender);
        EXPECT_TRUE(awaitAnswer(recorder, 5000)) << "round " << rounds;
        if (instrument.joinable()) {
            instrument.join();
        }
        ASSERT_TRUE(virtualInstrumentAwaitDelivered(10000));
        closeRecorder(recorder);
        virtualInstrumentResetControl();
        virtualInstrumentEchoShortMessages(false);

        if (timing == AnswerTiming::WhileTheRequestPlays) {
            ASSERT_TRUE(played.load()) << "round " << rounds;
            EXPECT_FALSE(returnedWhilePlaying.load()) << "round " << rounds;
        }
        const std::vector<std::vector<BYTE>> got = recordedSysEx(recorder);
        ASSERT_EQ(got.size(), 2u) << "round " << rounds;
        if (timing == AnswerTiming::RacingTheOpen) {
            // The answer may come in before or after the echo.
            EXPECT_TRUE(std::find(got.begin(), got.end(), answer) != got.end());
            EXPECT_TRUE(std::find(got.begin(), got.end(), request) != got.end());
        } else {
            EXPECT_EQ(got[0], answer) << "round " << rounds;
            EXPECT_EQ(got[1], request) << "round " << rounds;
        }
    }
    EXPECT_GE(rounds, 30) << "too few rounds in the time allowed to say anything";
}

// A device that refuses the prepare or the long message: sendSysEx gives 0 and nothing is
// played, so no answer comes; the same sender and device then send normally and close
// without anything left playing. The header of every failed send is released (the
// AddressSanitizer build reports any leak at exit).
TEST_F(SenderStressTest, ADeviceFailingOnPrepareOrLongMessageSendsNothingAndRecovers) {
    const UINT out = virtualInstrumentOutputId();
    recorder.recordShortMessages = 0;
    ASSERT_EQ(openRecorder(recorder), 1);
    const auto deadline = stressDeadline(15);
    int32_t rounds = 0;
    for (; rounds < 200 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        const BYTE id = static_cast<BYTE>(rounds & 0x7F);
        const std::vector<BYTE> refused = {0xF0, 0x7D, 0x30, id, 0xF7};
        const std::vector<BYTE> accepted = {0xF0, 0x7D, 0x31, id, 0x01, 0xF7};
        const VirtualFailPoint point =
            rounds % 2 == 0 ? VirtualFailPoint::OutPrepare : VirtualFailPoint::OutLongMsg;
        const MMRESULT failure = rounds % 3 == 0 ? MMSYSERR_NOMEM : MMSYSERR_ERROR;

        // An output that does not open leaves the sender without a device: nothing is sent.
        virtualInstrumentFailNext(VirtualFailPoint::OutOpen, MMSYSERR_ALLOCATED);
        HMIDIOUT handle = nullptr;
        ASSERT_EQ(midiOutOpen(&handle, out, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
        SysExSender sender;
        EXPECT_EQ(sendSysEx(sender, refused.data(), static_cast<int32_t>(refused.size())), 0);

        ASSERT_EQ(midiOutOpen(&handle, out, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        equipSender(sender, handle, out);
        const size_t playedBefore = virtualInstrumentLongMessages().size();
        virtualInstrumentFailNext(point, failure);
        EXPECT_EQ(sendSysEx(sender, refused.data(), static_cast<int32_t>(refused.size())), 0)
            << "round " << rounds;
        EXPECT_EQ(virtualInstrumentLongMessages().size(), playedBefore) << "round " << rounds;
        EXPECT_EQ(sendSysEx(sender, accepted.data(), static_cast<int32_t>(accepted.size())), 1)
            << "round " << rounds;
        closeSender(sender);
        EXPECT_EQ(midiOutClose(handle), MMSYSERR_INVALHANDLE)
            << "closeSender closed the device; nothing was left playing";
    }
    ASSERT_TRUE(virtualInstrumentAwaitDelivered(10000));
    closeRecorder(recorder);
    EXPECT_GE(rounds, 30) << "too few rounds in the time allowed to say anything";

    // Only the accepted messages were played, so only they came back.
    const std::vector<std::vector<BYTE>> got = recordedSysEx(recorder);
    ASSERT_EQ(got.size(), static_cast<size_t>(rounds));
    for (int32_t i = 0; i < rounds; ++i) {
        const std::vector<BYTE> accepted = {0xF0, 0x7D, 0x31, static_cast<BYTE>(i & 0x7F),
                                            0x01, 0xF7};
        EXPECT_EQ(got[static_cast<size_t>(i)], accepted) << "answer " << i;
    }
}
