// Latency from the instrument's last answer byte to the driver leaving its wait, with the
// virtual instrument. The identity answer reaches the input port in one piece, as from a USB
// instrument; the main thread spins in awaitAnswer as the tool does, so the input's delivery
// thread competes with a busy processor. One iteration is one answer; the counters give the
// median and 99th percentile of the iterations.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "benchmark/benchmark.h"
#include "driver/answer_wait.h"
#include "midi/recorder.h"
#include "midi/sysex_sender.h"
#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/testing/virtual_instrument_control.h"
#include "platform/posix/winmm/instrument_answers.h"
#include "platform/windows_api.h"

namespace {

using Clock = std::chrono::steady_clock;

// The instrument: asleep until a request comes, as a device thread waiting for its port.
// It lets a moment pass, so that the driver is spinning, then notes the time and answers.
struct Instrument {
    std::mutex mutex;
    std::condition_variable asked;
    int requests = 0;
    bool stop = false;
    std::atomic<int64_t> sentAt{0};
    std::thread thread;

    void request() {
        std::lock_guard<std::mutex> lock(mutex);
        ++requests;
        asked.notify_one();
    }

    void run() {
        const std::vector<BYTE> reply = identityReply();
        int answered = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            asked.wait(lock, [&] { return stop || requests > answered; });
            if (stop) {
                return;
            }
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            sentAt.store(Clock::now().time_since_epoch().count());
            virtualInstrumentInject(reply);
            ++answered;
            lock.lock();
        }
    }

    void end() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
            asked.notify_one();
        }
        thread.join();
    }
};

// Median and 99th percentile of the iterations' latencies, in microseconds.
void reportLatencies(benchmark::State& state, std::vector<double> latencies, int64_t missed) {
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        state.counters["median_us"] = latencies[latencies.size() / 2] * 1e6;
        state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] * 1e6;
    }
    state.counters["missed"] = static_cast<double>(missed);
}

// Opens the tool's recorder afresh, as the tool does before sending.
bool reopenRecorder(MidiInRecorder& recorder) {
    closeRecorder(recorder);
    recorder.eventCount.store(0);
    return openRecorder(recorder) == 1;
}

// The tool's recorder, set up as the tool sets it, on the virtual input; null (with the
// benchmark skipped) when there is none.
MidiInRecorder* toolRecorderOnVirtualInput(benchmark::State& state) {
    const int device = virtualInstrumentInputId();
    if (device < 0) {
        state.SkipWithError("no virtual instrument");
        return nullptr;
    }
    MidiInRecorder& recorder = theRecorder();
    recorder.deviceId = device;
    recorder.inputMode = 1;
    recorder.recordSysEx = 1;
    recorder.recordShortMessages = 0;
    return &recorder;
}

// The answer comes from a device thread while the driver spins.
void BM_AnswerToWaitExit(benchmark::State& state) {
    MidiInRecorder* recorder = toolRecorderOnVirtualInput(state);
    if (recorder == nullptr) {
        return;
    }
    Instrument instrument;
    instrument.thread = std::thread(&Instrument::run, &instrument);
    std::vector<double> latencies;
    int64_t missed = 0;
    for (auto _ : state) {
        if (!reopenRecorder(*recorder)) {
            state.SkipWithError("the recorder does not open");
            break;
        }
        instrument.request();
        const bool answered = awaitAnswer(*recorder, 5000);
        const auto left = Clock::now().time_since_epoch().count();
        missed += answered ? 0 : 1;
        const double seconds =
            std::chrono::duration<double>(Clock::duration(left - instrument.sentAt.load())).count();
        latencies.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    instrument.end();
    closeRecorder(*recorder);
    reportLatencies(state, latencies, missed);
}
BENCHMARK(BM_AnswerToWaitExit)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

// As in the tool with the virtual instrument: the driver's own thread sends the request, the
// instrument answers at once, and the driver then spins until the answer is recorded. Timed
// from the send (the answer's last byte arrives within it) to leaving the wait.
void BM_RequestToWaitExit(benchmark::State& state) {
    MidiInRecorder* recorder = toolRecorderOnVirtualInput(state);
    if (recorder == nullptr) {
        return;
    }
    // Numbered apart from the input: real ports may have more inputs than outputs.
    const int device = virtualInstrumentOutputId();
    HMIDIOUT out = nullptr;
    if (device < 0 ||
        midiOutOpen(&out, static_cast<UINT>(device), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        state.SkipWithError("virtual output does not open");
        return;
    }
    SysExSender sender;
    sender.outHandle = out;
    sender.deviceId = device;
    sender.waitMs = 0;
    const unsigned char request[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    std::vector<double> latencies;
    int64_t missed = 0;
    for (auto _ : state) {
        if (!reopenRecorder(*recorder)) {
            state.SkipWithError("the recorder does not open");
            break;
        }
        const auto sent = Clock::now();
        sendSysEx(sender, request, sizeof request);
        missed += awaitAnswer(*recorder, 5000) ? 0 : 1;
        const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
        latencies.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    closeSender(sender);
    closeRecorder(*recorder);
    reportLatencies(state, latencies, missed);
}
BENCHMARK(BM_RequestToWaitExit)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

}  // namespace
