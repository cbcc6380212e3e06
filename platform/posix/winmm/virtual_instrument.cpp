// The built-in virtual instrument: one input and one output device that behave as an
// instrument on a cable. What is sent to its output is answered on its input, on the input's
// delivery thread, with no delay of its own; only a bulk dump paces its messages.
#include <pthread.h>
#include <sched.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/winmm/midi_ports.h"
#include "platform/posix/testing/virtual_instrument_control.h"

namespace {

const char kInstrumentName[] = "midiparley virtual instrument";
constexpr BYTE kNonCommercialId = 0x7D;
constexpr std::chrono::milliseconds kDumpPause{10};

struct Instrument {
    std::mutex mutex;
    std::condition_variable releaseAsked;
    std::shared_ptr<MidiInDevice> input;
    std::array<MMRESULT, 4> failNext{};
    bool echo = true;
    bool holdNext = false;
    DWORD holdMs = 0;
    // The one long message held as still playing, with a copy of its bytes.
    MIDIHDR* held = nullptr;
    void* heldPort = nullptr;
    std::vector<BYTE> heldBytes;
    bool releaseHeld = false;
    std::thread holdTimer;
    // What was received, kept only once the tests' control was reset: in the program they
    // would grow with every message.
    bool logging = false;
    std::vector<std::vector<BYTE>> longMessages;
    std::vector<DWORD> shortMessages;
    // The bulk dump being sent, message by message, on a thread of its own.
    std::deque<std::vector<BYTE>> dumpQueue;
    std::condition_variable dumpWake;
    bool dumping = false;
    std::thread dumper;
};

// Never destroyed, like the device registries that reach it.
Instrument& instrument() {
    static Instrument* instance = new Instrument;
    return *instance;
}

MMRESULT takeFailure(Instrument& s, VirtualFailPoint point) {
    MMRESULT result = s.failNext[static_cast<size_t>(point)];
    s.failNext[static_cast<size_t>(point)] = MMSYSERR_NOERROR;
    return result;
}

bool isSysEx(const std::vector<BYTE>& m) {
    return m.size() >= 2 && m.front() == 0xF0 && m.back() == 0xF7;
}

std::vector<BYTE> answerTo(const std::vector<BYTE>& m) {
    // Universal device inquiry, any device id.
    if (isSysEx(m) && m.size() == 6 && m[1] == 0x7E && m[2] <= 0x7F && m[3] == 0x06 &&
        m[4] == 0x01) {
        return {0xF0, 0x7E, 0x00, 0x06, 0x02, kNonCommercialId, 0x01, 0x00, 0x01, 0x00,
                0x01, 0x00, 0x00, 0x00, 0xF7};
    }
    // Dump request for hh * 128 + ll counting bytes.
    if (isSysEx(m) && m.size() == 6 && m[1] == kNonCommercialId && m[2] == 0x01 && m[3] <= 0x7F &&
        m[4] <= 0x7F) {
        size_t count = m[3] * 128u + m[4];
        std::vector<BYTE> dump = {0xF0, kNonCommercialId, 0x02};
        for (size_t i = 0; i < count; ++i) {
            dump.push_back(static_cast<BYTE>(i & 0x7F));
        }
        dump.push_back(0xF7);
        return dump;
    }
    return m;
}

void sendToInput(Instrument& s, const std::vector<BYTE>& bytes) {
    if (s.input) {
        midiInputArrived(*s.input, bytes.data(), bytes.size());
    }
}

// Bulk dump request F0 7D 03 nn F7: nn messages (1 to 127), one after the other.
int bulkDumpCount(const std::vector<BYTE>& m) {
    const bool request = isSysEx(m) && m.size() == 5 && m[1] == kNonCommercialId && m[2] == 0x03 &&
                         m[3] >= 0x01 && m[3] <= 0x7F;
    return request ? m[3] : 0;
}

// Message k of a bulk dump: F0 7D 04 k, 256 data bytes (k + i) AND 7F, F7.
std::vector<BYTE> bulkDumpMessage(BYTE k) {
    std::vector<BYTE> message = {0xF0, kNonCommercialId, 0x04, k};
    for (unsigned i = 0; i < 256; ++i) {
        message.push_back(static_cast<BYTE>((k + i) & 0x7F));
    }
    message.push_back(0xF7);
    return message;
}

// Sends the queued dump messages with a pause before each later one, as an instrument takes
// time between the patches of a bank. Ends when the queue is empty.
void runDump(Instrument* s) {
    // At the input delivery's priority where allowed: the pauses are the instrument's, not
    // those of a busy machine, which would otherwise stretch them past a collector's idle time.
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    std::unique_lock<std::mutex> lock(s->mutex);
    bool first = true;
    while (!s->dumpQueue.empty()) {
        if (!first) {
            s->dumpWake.wait_for(lock, kDumpPause, [s] { return s->dumpQueue.empty(); });
            if (s->dumpQueue.empty()) {
                break;
            }
        }
        first = false;
        sendToInput(*s, s->dumpQueue.front());
        s->dumpQueue.pop_front();
    }
    s->dumping = false;
}

void queueDump(Instrument& s, int count) {
    for (int k = 0; k < count; ++k) {
        s.dumpQueue.push_back(bulkDumpMessage(static_cast<BYTE>(k)));
    }
    if (!s.dumping) {
        // An earlier dump thread has left the lock for good once it cleared `dumping`.
        if (s.dumper.joinable()) {
            s.dumper.join();
        }
        s.dumping = true;
        s.dumper = std::thread(runDump, &s);
    }
}

// Drops a dump in progress (the input closed, or the tests start afresh).
void dropDump(Instrument& s) {
    s.dumpQueue.clear();
    s.dumpWake.notify_all();
}

void playLong(Instrument& s, std::vector<BYTE> bytes) {
    if (const int count = bulkDumpCount(bytes)) {
        queueDump(s, count);
    } else {
        sendToInput(s, answerTo(bytes));
    }
    if (s.logging) {
        s.longMessages.push_back(std::move(bytes));
    }
}

void finishHeld(Instrument& s) {
    s.held->dwFlags = (s.held->dwFlags | MHDR_DONE) & ~static_cast<DWORD>(MHDR_INQUEUE);
    s.held = nullptr;
    s.heldPort = nullptr;
    playLong(s, std::move(s.heldBytes));
}

void holdUntil(Instrument* s, DWORD ms) {
    std::unique_lock<std::mutex> lock(s->mutex);
    auto released = [s] { return s->releaseHeld; };
    if (ms == kHoldUntilReleased) {
        s->releaseAsked.wait(lock, released);
    } else {
        s->releaseAsked.wait_for(lock, std::chrono::milliseconds(ms), released);
    }
    finishHeld(*s);
}

// Ends a running hold at once and waits for its timer thread.
void releaseHold() {
    Instrument& s = instrument();
    std::thread timer;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.held != nullptr) {
            s.releaseHeld = true;
            s.releaseAsked.notify_all();
        }
        timer = std::move(s.holdTimer);
    }
    if (timer.joinable()) {
        timer.join();
    }
}

class VirtualInstrumentPorts : public MidiPortBackend {
  public:
    unsigned inputCount() override { return 1; }
    unsigned outputCount() override { return 1; }
    std::string inputName(unsigned) override { return kInstrumentName; }
    std::string outputName(unsigned) override { return kInstrumentName; }

    MMRESULT openInput(unsigned, const std::shared_ptr<MidiInDevice>& device,
                       void** port) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (MMRESULT failure = takeFailure(s, VirtualFailPoint::InOpen)) {
            return failure;
        }
        if (s.input) {
            return MMSYSERR_ALLOCATED;
        }
        s.input = device;
        *port = &s;
        return MMSYSERR_NOERROR;
    }

    void closeInput(void*) override {
        Instrument& s = instrument();
        std::thread dumper;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.input.reset();
            dropDump(s);
            dumper = std::move(s.dumper);
        }
        // No thread of the instrument outlives the input it served.
        if (dumper.joinable()) {
            dumper.join();
        }
    }

    MMRESULT openOutput(unsigned, void** port) override {
        Instrument& s = instrument();
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (MMRESULT failure = takeFailure(s, VirtualFailPoint::OutOpen)) {
                return failure;
            }
        }
        // Each open output gets a token of its own, so holds belong to one handle.
        *port = new char;
        return MMSYSERR_NOERROR;
    }

    void closeOutput(void* port) override { delete static_cast<char*>(port); }

    MMRESULT sendShort(void*, const BYTE* bytes, size_t count) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        DWORD packed = 0;
        for (size_t i = 0; i < count; ++i) {
            packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
        }
        if (s.logging) {
            s.shortMessages.push_back(packed);
        }
        if (s.echo) {
            sendToInput(s, std::vector<BYTE>(bytes, bytes + count));
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT prepareLong(void*) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        return takeFailure(s, VirtualFailPoint::OutPrepare);
    }

    MMRESULT sendLong(void* port, MIDIHDR* header, bool* held) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (MMRESULT failure = takeFailure(s, VirtualFailPoint::OutLongMsg)) {
            return failure;
        }
        std::vector<BYTE> bytes(header->lpData, header->lpData + header->dwBufferLength);
        *held = s.holdNext && s.held == nullptr;
        if (!*held) {
            playLong(s, std::move(bytes));
            return MMSYSERR_NOERROR;
        }
        // With nothing held, an earlier timer thread has finished and left the lock for good.
        if (s.holdTimer.joinable()) {
            s.holdTimer.join();
        }
        s.holdNext = false;
        s.held = header;
        s.heldPort = port;
        s.heldBytes = std::move(bytes);
        s.releaseHeld = false;
        s.holdTimer = std::thread(holdUntil, &s, s.holdMs);
        return MMSYSERR_NOERROR;
    }

    bool stillPlaying(void* port, const MIDIHDR* header) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.held != nullptr && s.heldPort == port && (header == nullptr || s.held == header);
    }
};

}  // namespace

MidiPortBackend& virtualInstrumentPorts() {
    static VirtualInstrumentPorts* ports = new VirtualInstrumentPorts;
    return *ports;
}

void virtualInstrumentInject(const std::vector<BYTE>& bytes) {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    sendToInput(s, bytes);
}

bool virtualInstrumentAwaitDelivered(DWORD timeoutMs) {
    std::shared_ptr<MidiInDevice> input;
    {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        input = s.input;
    }
    // Waiting without the instrument's lock lets callbacks keep sending to the instrument.
    return !input || midiInputAwaitDelivered(*input, timeoutMs);
}

void virtualInstrumentFailNext(VirtualFailPoint point, MMRESULT result) {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failNext[static_cast<size_t>(point)] = result;
}

void virtualInstrumentHoldNextLongMessage(DWORD ms) {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.holdNext = true;
    s.holdMs = ms;
}

void virtualInstrumentReleaseHeld() {
    releaseHold();
}

std::vector<std::vector<BYTE>> virtualInstrumentLongMessages() {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.longMessages;
}

std::vector<DWORD> virtualInstrumentShortMessages() {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.shortMessages;
}

void virtualInstrumentEchoShortMessages(bool on) {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.echo = on;
}

void virtualInstrumentResetControl() {
    releaseHold();
    Instrument& s = instrument();
    std::thread dumper;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        dropDump(s);
        dumper = std::move(s.dumper);
    }
    if (dumper.joinable()) {
        dumper.join();
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failNext.fill(MMSYSERR_NOERROR);
    s.echo = true;
    s.holdNext = false;
    s.longMessages.clear();
    s.shortMessages.clear();
    s.logging = true;
}
