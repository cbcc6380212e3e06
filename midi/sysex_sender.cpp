#include "midi/sysex_sender.h"

#include <thread>

std::atomic<bool> quitSeen{false};

// Every header call passes sizeof(MIDIHDR); 32-bit Windows expects exactly 64.
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64, "MIDIHDR must be 64 bytes");

namespace {

const UINT kHeaderSize = static_cast<UINT>(sizeof(MIDIHDR));
const DWORD kMaxDispatched = 5;

// The slowest link a device may play through: 31250 baud, 10 bits a byte.
const uint64_t kSlowestBytesPerSecond = 3125;
const uint64_t kPlayMarginMs = 1000;

// Length of the message from data[0] (F0) up to and including the first F7 after it.
int32_t lengthUpToEnd(const unsigned char* data) {
    int32_t length = 1;
    while (data[length] != 0xF7 && length < INT32_MAX - 1) {
        ++length;
    }
    return length + 1;
}

// Unprepares a header that a long message may still be playing. True when the header may be
// released. A device that plays the buffer asynchronously answers MIDIERR_STILLPLAYING until it
// is done, and releasing the header (or the caller's bytes) before then lets the device read
// freed memory. Retrying unprepare is enough to learn when it is done, so the header's flags,
// which the device may still be writing, are not read here.
bool unprepareWhenPlayed(HMIDIOUT device, MIDIHDR* header, int32_t length) {
    MMRESULT result = midiOutUnprepareHeader(device, header, kHeaderSize);
    if (result != MIDIERR_STILLPLAYING) {
        return true;
    }
    const uint64_t boundMs =
        kPlayMarginMs + static_cast<uint64_t>(length) * 1000 / kSlowestBytesPerSecond;
    const DWORD start = GetTickCount();
    while (result == MIDIERR_STILLPLAYING) {
        if (static_cast<DWORD>(GetTickCount() - start) >= boundMs) {
            return false;
        }
        // The device is working on another thread or in hardware: let it run.
        std::this_thread::yield();
        result = midiOutUnprepareHeader(device, header, kHeaderSize);
    }
    return true;
}

// Hands the message to the device. The device's result: 0 when it took the message.
MMRESULT sendLongMessage(HMIDIOUT device, const unsigned char* data, int32_t length) {
    if (length < 1) {
        // Nothing to send counts as success, so the wait still follows.
        return MMSYSERR_NOERROR;
    }
    MIDIHDR* header = new MIDIHDR();  // every field zero
    // The device only reads the bytes; the header type merely lacks const.
    header->lpData = reinterpret_cast<LPSTR>(const_cast<unsigned char*>(data));
    header->dwBufferLength = static_cast<DWORD>(length);
    MMRESULT result = midiOutPrepareHeader(device, header, kHeaderSize);
    if (result == MMSYSERR_NOERROR) {
        result = midiOutLongMsg(device, header, kHeaderSize);
        if (!unprepareWhenPlayed(device, header, length)) {
            // The device still owns the header past any plausible playing time. Leaking it is
            // the only safe choice: freeing it would let the device write into freed memory.
            // The caller's bytes may still be read; nothing can be done about that here.
            return result;
        }
    }
    header->lpData = nullptr;
    delete header;
    return result;
}

DWORD elapsedSince(DWORD start) {
    return GetTickCount() - start;  // unsigned: right across the 49.7-day wrap
}

}  // namespace

int sendSysEx(SysExSender& sender, const unsigned char* data, int32_t length) {
    if (sender.outHandle == nullptr || data == nullptr || sender.cancelled != 0) {
        return 0;
    }
    if (length < 1 && data[0] == 0xF0) {
        length = lengthUpToEnd(data);
    }
    if (sendLongMessage(sender.outHandle, data, length) != MMSYSERR_NOERROR) {
        return 0;
    }
    if (sender.waitMs <= 0) {
        return 1;
    }
    const DWORD waitMs = static_cast<DWORD>(sender.waitMs);
    const DWORD start = GetTickCount();
    if (elapsedSince(start) >= waitMs) {
        return 1;
    }
    // A busy wait on purpose: the wait is short and the queue must keep moving throughout.
    for (;;) {
        if (!pumpMessages()) {
            sender.cancelled = 1;
            return 1;
        }
        if (sender.abortFlag != nullptr && sender.abortFlag->load() != 0) {
            sender.cancelled = 1;
            return 1;
        }
        if (sender.cancelled != 0) {
            return 1;
        }
        if (elapsedSince(start) >= waitMs) {
            return 1;
        }
    }
}

void closeSender(SysExSender& sender) {
    sender.abortFlag = nullptr;
    if (sender.outHandle != nullptr) {
        midiOutClose(sender.outHandle);
        sender.outHandle = nullptr;
    }
    sender.cancelled = 0;
    sender.deviceId = -1;
}

SysExSender::~SysExSender() {
    closeSender(*this);
}

bool pumpMessages() {
    if (quitSeen.load()) {
        return false;
    }
    for (DWORD dispatched = 0; dispatched < kMaxDispatched; ++dispatched) {
        MSG msg{};
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            return true;
        }
        if (msg.message == WM_QUIT) {
            // Left in the queue for whoever runs the outer message loop.
            quitSeen.store(true);
            return false;
        }
        if (GetMessageA(&msg, nullptr, 0, 0) == 0) {
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}
