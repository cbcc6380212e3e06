// Input from a JACK port reaches the program without an allocation on a thread of libjack's
// (JACK's process thread): every operator new made with a libjack frame on the stack counts.
#include <dlfcn.h>
#include <execinfo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/posix/testing/jack_server.h"
#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/testing/replaced_new.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<int> jackAllocations{0};
std::atomic<int> allAllocations{0};
thread_local bool inCount = false;

bool calledFromLibjack() {
    void* frames[64];
    const int depth = backtrace(frames, 64);
    for (int i = 0; i < depth; ++i) {
        Dl_info info{};
        if (dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
            std::strstr(info.dli_fname, "libjack") != nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool allocationAllowed(size_t) {
    if (counting.load(std::memory_order_relaxed) && !inCount) {
        inCount = true;
        allAllocations.fetch_add(1);
        if (calledFromLibjack()) {
            jackAllocations.fetch_add(1);
        }
        inCount = false;
    }
    return true;
}

namespace {

TEST(JackInput, TakesNoAllocationOnJacksThreads) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers bring their own operator new";
#endif
    if (findProgram("jackd").empty()) {
        GTEST_SKIP() << "jackd is not installed";
    }
    ChildProcess server;
    ChildProcess instrument;
    std::string error;
    ASSERT_TRUE(startJackWithInstrument(JACK_INSTRUMENT_PATH, "alloc-instrument", server,
                                        instrument, error))
        << error;
    InputRecorder recorder;
    OpenInput input;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(input.open(findInputDevice("alloc-instrument:out"), recorder, 64, 1024),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(input.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, findOutputDevice("alloc-instrument:in"), 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    void* warm[4];
    backtrace(warm, 4);  // its first call loads the unwinder
    counting = true;
    for (size_t i = 1; i <= 20; ++i) {
        ASSERT_EQ(sendLong(out, {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}), MMSYSERR_NOERROR);
        ASSERT_TRUE(recorder.awaitSysExEnd(i));
    }
    counting = false;
    EXPECT_GT(allAllocations.load(), 0);  // the count works: the delivery path does allocate
    EXPECT_EQ(jackAllocations.load(), 0);
    midiOutClose(out);
    input.close();
    stopChild(instrument);
    stopJackServer(server);
}

}  // namespace
