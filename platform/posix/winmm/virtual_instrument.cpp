// The built-in virtual instrument: one input and one output device that behave as an
// instrument on a cable. What is sent to its output is answered on its input, on the input's
// delivery thread, with no delay of its own; only dumps pace their messages.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/realtime_priority.h"
#include "platform/posix/winmm/instrument_answers.h"
#include "platform/posix/winmm/midi_ports.h"
#include "platform/posix/winmm/virtual_instrument_hooks.h"

namespace {

const char kInstrumentName[] = "midiparley virtual instrument";
constexpr std::chrono::milliseconds kDumpPause{10};
constexpr size_t kDumpChunkBytes = 64 * 1024;
// How long a large dump waits for the input to take a chunk before it sends the next anyway.
constexpr DWORD kChunkTakenMs = 5000;

// A dump on its way: a bulk dump (03), one message at a time 10 ms apart, or a large dump
// (06, 08) in chunks, each sent once the input has taken the one before, so that the dump
// never waits in memory as a whole.
struct DumpJob {
    bool paced = false;
    LargeDump large;  // of a large dump
    unsigned count = 0;
    unsigned next = 0;  // the next message to send
};

struct Instrument {
    std::mutex mutex;
    std::shared_ptr<MidiInDevice> input;
    std::deque<DumpJob> dumpJobs;
    std::condition_variable dumpWake;
    bool dumping = false;
    std::thread dumper;
    // A SysEx message coming in parts, and the output it comes from.
    std::vector<BYTE> unfinished;
    void* unfinishedFrom = nullptr;
};

// The tests' hooks; none in the program.
std::atomic<const VirtualInstrumentHooks*> installedHooks{nullptr};

// Never destroyed, like the device registries that reach it.
Instrument& instrument() {
    static Instrument* instance = new Instrument;
    return *instance;
}

const VirtualInstrumentHooks* hooks() {
    return installedHooks.load(std::memory_order_acquire);
}

MMRESULT hookedFailure(VirtualFailPoint point) {
    const VirtualInstrumentHooks* h = hooks();
    return h != nullptr && h->failure != nullptr ? h->failure(point) : MMSYSERR_NOERROR;
}

void sendToInput(Instrument& s, const std::vector<BYTE>& bytes) {
    if (s.input) {
        midiInputArrived(*s.input, bytes.data(), bytes.size());
    }
}

// The next bytes of the front job; the job leaves the queue with its last message.
std::vector<BYTE> nextDumpBytes(std::deque<DumpJob>& jobs) {
    DumpJob& job = jobs.front();
    std::vector<BYTE> bytes;
    if (job.paced) {
        bytes = bulkDumpMessage(static_cast<uint8_t>(job.next++));
    }
    while (!job.paced && job.next < job.count && bytes.size() < kDumpChunkBytes) {
        appendLargeDumpMessage(job.large, job.next++, bytes);
    }
    if (job.next == job.count) {
        jobs.pop_front();
    }
    return bytes;
}

// Sends the queued dumps; a bulk dump pauses before each later message, as an instrument
// takes time between the patches of a bank. Ends when the queue is empty.
void runDump(Instrument* s) {
    // At the input delivery's priority where allowed: the pauses are the instrument's, not
    // those of a busy machine, which would otherwise stretch them past a collector's idle time.
    takeLowestRealtimePriority();
    std::unique_lock<std::mutex> lock(s->mutex);
    bool first = true;
    while (!s->dumpJobs.empty()) {
        const bool paced = s->dumpJobs.front().paced;
        if (paced && !first) {
            s->dumpWake.wait_for(lock, kDumpPause, [s] { return s->dumpJobs.empty(); });
            if (s->dumpJobs.empty()) {
                break;
            }
        }
        first = false;
        sendToInput(*s, nextDumpBytes(s->dumpJobs));
        if (!paced && s->input) {
            // Without the instrument's lock: the input's callbacks may send to the instrument.
            const std::shared_ptr<MidiInDevice> input = s->input;
            lock.unlock();
            midiInputAwaitDelivered(*input, kChunkTakenMs);
            lock.lock();
        }
    }
    s->dumping = false;
}

void queueDump(Instrument& s, const DumpJob& job) {
    s.dumpJobs.push_back(job);
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
    s.dumpJobs.clear();
    s.dumpWake.notify_all();
}

// A SysEx message sent in consecutive long buffers (the first from F0, the last holding F7),
// as a paced send does, is taken whole, as an instrument on a cable takes it. False while the
// message is unfinished: the buffer was kept.
bool joinParts(Instrument& s, void* port, std::vector<BYTE>& bytes) {
    const bool ends = std::find(bytes.begin(), bytes.end(), BYTE{0xF7}) != bytes.end();
    if (s.unfinishedFrom == port) {
        s.unfinished.insert(s.unfinished.end(), bytes.begin(), bytes.end());
        if (!ends) {
            return false;
        }
        bytes.swap(s.unfinished);
        s.unfinished.clear();
        s.unfinishedFrom = nullptr;
    } else if (bytes.front() == 0xF0 && !ends) {
        s.unfinished = std::move(bytes);
        s.unfinishedFrom = port;
        return false;
    }
    return true;
}

void playLong(Instrument& s, std::vector<BYTE> bytes) {
    const LargeDump large = largeDumpRequest(bytes.data(), bytes.size());
    if (const unsigned count = bulkDumpRequest(bytes.data(), bytes.size())) {
        DumpJob job;
        job.paced = true;
        job.count = count;
        queueDump(s, job);
    } else if (large.count != 0) {
        DumpJob job;
        job.large = large;
        job.count = large.count;
        queueDump(s, job);
    } else {
        sendToInput(s, instrumentAnswer(bytes.data(), bytes.size()));
    }
    const VirtualInstrumentHooks* h = hooks();
    if (h != nullptr && h->receivedLong != nullptr) {
        h->receivedLong(bytes);
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
        if (MMRESULT failure = hookedFailure(VirtualFailPoint::InOpen)) {
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
            if (MMRESULT failure = hookedFailure(VirtualFailPoint::OutOpen)) {
                return failure;
            }
        }
        // Each open output gets a token of its own, so holds belong to one handle.
        *port = new char;
        return MMSYSERR_NOERROR;
    }

    void closeOutput(void* port) override {
        Instrument& s = instrument();
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.unfinishedFrom == port) {
                s.unfinished.clear();
                s.unfinishedFrom = nullptr;
            }
        }
        delete static_cast<char*>(port);
    }

    MMRESULT sendShort(void*, const BYTE* bytes, size_t count) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        const VirtualInstrumentHooks* h = hooks();
        if (h == nullptr || h->receivedShort == nullptr || h->receivedShort(bytes, count)) {
            sendToInput(s, std::vector<BYTE>(bytes, bytes + count));
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT prepareLong(void*) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        return hookedFailure(VirtualFailPoint::OutPrepare);
    }

    MMRESULT sendLong(void* port, MIDIHDR* header, bool* held) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (MMRESULT failure = hookedFailure(VirtualFailPoint::OutLongMsg)) {
            return failure;
        }
        std::vector<BYTE> bytes(header->lpData, header->lpData + header->dwBufferLength);
        if (!joinParts(s, port, bytes)) {
            *held = false;
            return MMSYSERR_NOERROR;
        }
        const VirtualInstrumentHooks* h = hooks();
        *held = h != nullptr && h->holdLong != nullptr && h->holdLong(port, header, bytes);
        if (!*held) {
            playLong(s, std::move(bytes));
        }
        return MMSYSERR_NOERROR;
    }

    bool stillPlaying(void* port, const MIDIHDR* header) override {
        Instrument& s = instrument();
        std::lock_guard<std::mutex> lock(s.mutex);
        const VirtualInstrumentHooks* h = hooks();
        return h != nullptr && h->stillPlaying != nullptr && h->stillPlaying(port, header);
    }
};

}  // namespace

MidiPortBackend& virtualInstrumentPorts() {
    static VirtualInstrumentPorts* ports = new VirtualInstrumentPorts;
    return *ports;
}

void setVirtualInstrumentHooks(const VirtualInstrumentHooks* h) {
    installedHooks.store(h, std::memory_order_release);
}

void virtualInstrumentLocked(
    const std::function<void(const std::shared_ptr<MidiInDevice>&)>& step) {
    Instrument& s = instrument();
    std::lock_guard<std::mutex> lock(s.mutex);
    step(s.input);
}

void virtualInstrumentPlayLocked(std::vector<BYTE> bytes) {
    playLong(instrument(), std::move(bytes));
}

void virtualInstrumentStopDump() {
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
}
