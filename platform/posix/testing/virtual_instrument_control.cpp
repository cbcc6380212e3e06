// The tests' controls of the built-in virtual instrument, through its hooks: failures on
// demand, long messages held as still playing, the log of what it received, the echo.
#include "platform/posix/testing/virtual_instrument_control.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/posix/testing/midi_test_input.h"
#include "platform/posix/winmm/virtual_instrument_hooks.h"

namespace {

// Lock order: the instrument's lock (every hook runs under it) before this one.
struct Control {
    std::mutex mutex;
    std::condition_variable releaseAsked;
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
    std::vector<std::vector<BYTE>> longMessages;
    std::vector<DWORD> shortMessages;
};

// Never destroyed, like the instrument whose hooks reach it.
Control& control() {
    static Control& instance = *new Control;
    return instance;
}

MMRESULT failure(VirtualFailPoint point) {
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    return std::exchange(c.failNext[static_cast<size_t>(point)], MMSYSERR_NOERROR);
}

// Runs on its own thread until the hold ends, then plays the message.
void holdUntil(Control* c, DWORD ms) {
    {
        std::unique_lock<std::mutex> lock(c->mutex);
        auto released = [c] { return c->releaseHeld; };
        if (ms == kHoldUntilReleased) {
            c->releaseAsked.wait(lock, released);
        } else {
            c->releaseAsked.wait_for(lock, std::chrono::milliseconds(ms), released);
        }
    }
    // The header is done and the answer out in one step of the instrument's lock, as a
    // message that was never held.
    virtualInstrumentLocked([c](const std::shared_ptr<MidiInDevice>&) {
        std::vector<BYTE> bytes;
        {
            std::lock_guard<std::mutex> lock(c->mutex);
            c->held->dwFlags = (c->held->dwFlags | MHDR_DONE) & ~static_cast<DWORD>(MHDR_INQUEUE);
            c->held = nullptr;
            c->heldPort = nullptr;
            bytes = std::move(c->heldBytes);
        }
        virtualInstrumentPlayLocked(std::move(bytes));
    });
}

bool holdLong(void* port, MIDIHDR* header, std::vector<BYTE>& bytes) {
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.holdNext || c.held != nullptr) {
        return false;
    }
    // With nothing held, an earlier timer thread has finished and left the instrument's lock
    // for good.
    if (c.holdTimer.joinable()) {
        c.holdTimer.join();
    }
    c.holdNext = false;
    c.held = header;
    c.heldPort = port;
    c.heldBytes = std::move(bytes);
    c.releaseHeld = false;
    c.holdTimer = std::thread(holdUntil, &c, c.holdMs);
    return true;
}

bool stillPlaying(void* port, const MIDIHDR* header) {
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.held != nullptr && c.heldPort == port && (header == nullptr || c.held == header);
}

void receivedLong(const std::vector<BYTE>& bytes) {
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.longMessages.push_back(bytes);
}

bool receivedShort(const BYTE* bytes, size_t count) {
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    DWORD packed = 0;
    for (size_t i = 0; i < count; ++i) {
        packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
    }
    c.shortMessages.push_back(packed);
    return c.echo;
}

const VirtualInstrumentHooks kHooks = {failure, holdLong, stillPlaying, receivedLong,
                                       receivedShort};

// The hooks go in with the first control used, before any device of the test is opened.
Control& controlHooked() {
    static const bool installed = (setVirtualInstrumentHooks(&kHooks), true);
    (void)installed;
    return control();
}

// Ends a running hold at once and waits for its timer thread.
void releaseHold() {
    Control& c = controlHooked();
    std::thread timer;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.held != nullptr) {
            c.releaseHeld = true;
            c.releaseAsked.notify_all();
        }
        timer = std::move(c.holdTimer);
    }
    if (timer.joinable()) {
        timer.join();
    }
}

const char kInstrumentName[] = "midiparley virtual instrument";

}  // namespace

int virtualInstrumentInputId() {
    return findInputDevice(kInstrumentName);
}

int virtualInstrumentOutputId() {
    return findOutputDevice(kInstrumentName);
}

void virtualInstrumentInject(const std::vector<BYTE>& bytes) {
    controlHooked();
    virtualInstrumentLocked([&bytes](const std::shared_ptr<MidiInDevice>& input) {
        if (input) {
            midiInputArrived(*input, bytes.data(), bytes.size());
        }
    });
}

bool virtualInstrumentAwaitDelivered(DWORD timeoutMs) {
    std::shared_ptr<MidiInDevice> input;
    virtualInstrumentLocked([&input](const std::shared_ptr<MidiInDevice>& open) { input = open; });
    // Waiting without the instrument's lock lets callbacks keep sending to the instrument.
    return !input || midiInputAwaitDelivered(*input, timeoutMs);
}

void virtualInstrumentFailNext(VirtualFailPoint point, MMRESULT result) {
    Control& c = controlHooked();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.failNext[static_cast<size_t>(point)] = result;
}

void virtualInstrumentHoldNextLongMessage(DWORD ms) {
    Control& c = controlHooked();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.holdNext = true;
    c.holdMs = ms;
}

void virtualInstrumentReleaseHeld() {
    releaseHold();
}

std::vector<std::vector<BYTE>> virtualInstrumentLongMessages() {
    Control& c = controlHooked();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.longMessages;
}

std::vector<DWORD> virtualInstrumentShortMessages() {
    Control& c = controlHooked();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.shortMessages;
}

void virtualInstrumentEchoShortMessages(bool on) {
    Control& c = controlHooked();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.echo = on;
}

void virtualInstrumentResetControl() {
    releaseHold();
    virtualInstrumentStopDump();
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.failNext.fill(MMSYSERR_NOERROR);
    c.echo = true;
    c.holdNext = false;
    c.longMessages.clear();
    c.shortMessages.clear();
}
