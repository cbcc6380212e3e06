#include "midi/recorder.h"

#include <cstdlib>
#include <new>

#include "platform/midi_limits.h"

MIDIHDR sysExBuffers[kSysExHeaderCount];
std::atomic<MidiInRecorder*> activeRecorder{nullptr};
int32_t sysExBufferCount = 0;
std::atomic<uint32_t> lastClockTime{0};
std::atomic<uint32_t> currentClockIndex{1};
RecordedEvent pendingEvent;
uint32_t lostSysExBytes = 0;

namespace {

constexpr uint8_t kStatusSysEx = 0xF0;
constexpr uint8_t kStatusClock = 0xF8;
constexpr uint8_t kStatusActiveSensing = 0xFE;
constexpr int32_t kClocksPerQuarter = 24;

// Constant-initialised, so it exists before any dynamic initialiser asks for it.
MidiInRecorder processRecorder;

// The receive buffers, one after the other in a single block: a block this large is mapped
// fresh, so only the pages of buffers that receive data are ever touched.
char* sysExBufferBlock = nullptr;

// The buffer of header `index` (below kSysExBuffersInUse); null if the block is missing.
char* sysExBufferAt(int32_t index) {
    if (sysExBufferBlock == nullptr) {
        sysExBufferBlock =
            new (std::nothrow) char[static_cast<size_t>(kSysExBuffersInUse) * kSysExBufferBytes];
    }
    if (sysExBufferBlock == nullptr) {
        return nullptr;
    }
    return sysExBufferBlock + static_cast<size_t>(index) * kSysExBufferBytes;
}

void destroyProcessRecorder() {
    destroyRecorder(processRecorder);
}

// The single recorder is prepared before main, and released after main and every later
// atexit handler (the handlers run in reverse order of registration).
const bool processRecorderReady = [] {
    initRecorder();
    std::atexit(destroyProcessRecorder);
    return true;
}();

// Counters have one writer at a time (the callback thread while recording), so a relaxed
// load and store is enough and avoids a locked instruction. The sum wraps instead of
// overflowing.
void addRelaxed(std::atomic<int32_t>& counter, uint32_t amount) {
    const uint32_t value = static_cast<uint32_t>(counter.load(std::memory_order_relaxed));
    counter.store(static_cast<int32_t>(value + amount), std::memory_order_relaxed);
}

// Copies the event into the next free slot and only then publishes it by raising eventCount.
void storeEvent(MidiInRecorder& recorder, const RecordedEvent& event) {
    const int32_t count = recorder.eventCount.load(std::memory_order_relaxed);
    if (count >= 0 && count < recorder.eventCapacity) {
        recorder.events[count] = event;
        recorder.eventCount.store(count + 1, std::memory_order_release);
    }
}

void recordClock(MidiInRecorder& recorder, DWORD now) {
    // Only a clock of the current opening gives an interval.
    const uint32_t last =
        recorder.clocksPerQuarter.load(std::memory_order_relaxed) == kClocksPerQuarter
            ? lastClockTime.load(std::memory_order_relaxed)
            : 0;
    recorder.clocksPerQuarter.store(kClocksPerQuarter, std::memory_order_relaxed);
    const uint32_t interval = (last != 0 && now > last) ? (now - last) * kClocksPerQuarter : 0;
    recorder.msPerQuarter.store(interval, std::memory_order_relaxed);
    addRelaxed(recorder.clockCount, 1);
    currentClockIndex.store(currentClockIndex.load(std::memory_order_relaxed) + 1,
                            std::memory_order_relaxed);
    lastClockTime.store(now, std::memory_order_relaxed);
    pendingEvent.data1 = 0;
    pendingEvent.data2 = 0;
    appendShortEvent(recorder, pendingEvent);
}

void recordShortMessage(MidiInRecorder& recorder, DWORD message, DWORD now) {
    const uint8_t status = static_cast<uint8_t>(message & 0xFF);
    pendingEvent.status = status;
    // Thru sees everything, before any filter.
    if (recorder.thruHandle != nullptr) {
        midiOutShortMsg(recorder.thruHandle, message);
    }
    if (status == kStatusClock) {
        recordClock(recorder, now);
        return;
    }
    if (status == kStatusActiveSensing) {
        addRelaxed(recorder.activeSensingCount, 1);
        return;
    }
    if (recorder.recordShortMessages == 0) {
        return;
    }
    // System messages have no channel and always pass the filter.
    if (recorder.channelFilter >= 0 && status < kStatusSysEx &&
        (status & 0x0F) != recorder.channelFilter) {
        return;
    }
    pendingEvent.data1 = static_cast<uint8_t>((message >> 8) & 0xFF);
    pendingEvent.data2 = static_cast<uint8_t>((message >> 16) & 0xFF);
    appendShortEvent(recorder, pendingEvent);
}

}  // namespace

MidiInRecorder& theRecorder() {
    return processRecorder;
}

MidiInRecorder& initRecorder() {
    MidiInRecorder& recorder = processRecorder;
    recorder.deviceId = 0;
    recorder.channelFilter = -1;
    recorder.events = nullptr;
    recorder.eventCount.store(0, std::memory_order_relaxed);
    recorder.eventCapacity = kRecorderEventCapacity;
    recorder.inputMode = 1;
    recorder.recordSysEx = 1;
    recorder.recordShortMessages = 1;
    recorder.clockCount.store(0, std::memory_order_relaxed);
    recorder.activeSensingCount.store(0, std::memory_order_relaxed);
    recorder.inHandle = nullptr;
    recorder.thruHandle = nullptr;
    recorder.thruDeviceId = -1;
    recorder.byteCount.store(0, std::memory_order_relaxed);

    recorder.eventMemory = GlobalAlloc(GMEM_FIXED, kRecorderEventBlockBytes);
    if (recorder.eventMemory == nullptr) {
        recorder.eventCapacity = 0;
    }
    recorder.events = static_cast<RecordedEvent*>(GlobalLock(recorder.eventMemory));
    // Every header starts without a buffer: sysExBuffers is static, so zero-initialised, and
    // this runs once, before anything else can write to it. Walking the 5000 headers to say
    // so would touch all of their pages at every start.
    return recorder;
}

int32_t openRecorder(MidiInRecorder& recorder) {
    activeRecorder.store(&recorder, std::memory_order_release);
    if (recorder.inputMode == kInputModeNoDevice) {
        return 1;
    }

    // Opened into a local handle so that a failed open leaves the record as it was.
    HMIDIIN inHandle = nullptr;
    const MMRESULT opened =
        midiInOpen(&inHandle, static_cast<UINT>(recorder.deviceId),
                   reinterpret_cast<DWORD_PTR>(&recorderCallback),
                   reinterpret_cast<DWORD_PTR>(GetModuleHandleA(nullptr)), CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR) {
        return 0;
    }
    recorder.inHandle = inHandle;

    if (recorder.thruHandle != nullptr) {
        HMIDIOUT old = recorder.thruHandle;
        recorder.thruHandle = nullptr;
        midiOutClose(old);
    }
    if (recorder.thruDeviceId >= 0) {
        HMIDIOUT thru = nullptr;
        if (midiOutOpen(&thru, static_cast<UINT>(recorder.thruDeviceId), 0, 0, CALLBACK_NULL) ==
            MMSYSERR_NOERROR) {
            recorder.thruHandle = thru;
        }
    }

    // Buffers of an earlier opening are reused as they are; a failed allocation leaves a
    // header without a buffer, which the device refuses and no event can name.
    // The headers from kSysExBuffersInUse on never get a buffer, so they are left alone (and
    // their pages untouched).
    sysExBufferCount = 0;
    for (int32_t i = 0; i < kSysExBuffersInUse; ++i) {
        MIDIHDR& header = sysExBuffers[i];
        if (header.lpData == nullptr) {
            header.dwBufferLength = kSysExBufferBytes;
            header.lpData = sysExBufferAt(i);
        }
        ++sysExBufferCount;
        header.dwBytesRecorded = 0;
        header.dwUser = 0;
        header.dwFlags = 0;
        header.lpNext = nullptr;
        header.reserved = 0;
        midiInPrepareHeader(recorder.inHandle, &header, sizeof(MIDIHDR));
        midiInAddBuffer(recorder.inHandle, &header, sizeof(MIDIHDR));
    }
    midiInStart(recorder.inHandle);
    return 1;
}

void closeRecorder(MidiInRecorder& recorder) {
    recorder.clocksPerQuarter.store(0, std::memory_order_relaxed);
    if (recorder.inHandle != nullptr) {
        midiInStop(recorder.inHandle);
        // The reset hands every pending buffer back empty; the callback ignores those.
        midiInReset(recorder.inHandle);
        for (int32_t i = 0; i < sysExBufferCount; ++i) {
            midiInUnprepareHeader(recorder.inHandle, &sysExBuffers[i], sizeof(MIDIHDR));
        }
        const uint32_t lost = sysExBytesDroppedBy(recorder.inHandle);
        lostSysExBytes = lost > UINT32_MAX - lostSysExBytes ? UINT32_MAX : lostSysExBytes + lost;
        midiInClose(recorder.inHandle);
        recorder.inHandle = nullptr;
    }
    if (recorder.thruHandle != nullptr) {
        HMIDIOUT old = recorder.thruHandle;
        recorder.thruHandle = nullptr;
        midiOutClose(old);
    }
    activeRecorder.store(nullptr, std::memory_order_release);
}

void destroyRecorder(MidiInRecorder& recorder) {
    activeRecorder.store(nullptr, std::memory_order_release);
    closeRecorder(recorder);
    if (recorder.events != nullptr) {
        GlobalUnlock(recorder.eventMemory);
        recorder.events = nullptr;
    }
    if (recorder.eventMemory != nullptr) {
        GlobalFree(recorder.eventMemory);
        recorder.eventMemory = nullptr;
    }
    // Only the headers in use ever got a buffer.
    for (int32_t i = 0; i < sysExBufferCount; ++i) {
        sysExBuffers[i].lpData = nullptr;
    }
    delete[] sysExBufferBlock;
    sysExBufferBlock = nullptr;
    if (recorder.thruHandle != nullptr) {
        HMIDIOUT old = recorder.thruHandle;
        recorder.thruHandle = nullptr;
        midiOutClose(old);
    }
}

void CALLBACK recorderCallback(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1,
                               DWORD_PTR param2) {
    MidiInRecorder* recorder = activeRecorder.load(std::memory_order_acquire);
    if (recorder == nullptr || recorder->eventCapacity == 0 ||
        recorder->eventCount.load(std::memory_order_relaxed) > recorder->eventCapacity ||
        recorder->events == nullptr) {
        return;
    }
    const DWORD now = timeGetTime();
    pendingEvent.time = now;
    pendingEvent.driverTime = static_cast<uint32_t>(param2);
    pendingEvent.clockIndex = currentClockIndex.load(std::memory_order_relaxed);

    switch (message) {
        case MIM_DATA:
            recordShortMessage(*recorder, static_cast<DWORD>(param1), now);
            break;
        case MIM_LONGDATA:
        case MIM_LONGERROR: {
            // An incomplete buffer (MIM_LONGERROR) is kept like a complete one; an empty one,
            // as handed back by a reset, carries nothing.
            MIDIHDR* header = reinterpret_cast<MIDIHDR*>(param1);
            if (recorder->recordSysEx != 0 && header != nullptr && header->dwBytesRecorded != 0) {
                appendSysExEvent(*recorder, header, pendingEvent);
            }
            break;
        }
        default:
            break;
    }
}

void appendShortEvent(MidiInRecorder& recorder, const RecordedEvent& event) {
    addRelaxed(recorder.byteCount, 3);
    storeEvent(recorder, event);
}

void appendSysExEvent(MidiInRecorder& recorder, MIDIHDR* header, RecordedEvent& event) {
    // The header's slot by address: the same answer as a search of the headers in use, in
    // constant time. A header from elsewhere gets sysExBufferCount, which stores nothing.
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(header) - reinterpret_cast<uintptr_t>(&sysExBuffers[0]);
    int32_t index = sysExBufferCount;
    if (offset % sizeof(MIDIHDR) == 0 &&
        offset / sizeof(MIDIHDR) < static_cast<uintptr_t>(sysExBufferCount)) {
        index = static_cast<int32_t>(offset / sizeof(MIDIHDR));
    }
    addRelaxed(recorder.byteCount, header->dwBytesRecorded);
    if (header->lpData != nullptr && index < sysExBufferCount) {
        event.status = kStatusSysEx;
        event.data1 = static_cast<uint8_t>(index & 0xFF);
        event.data2 = static_cast<uint8_t>((index >> 8) & 0xFF);
        storeEvent(recorder, event);
    }
}

bool requeueSysExBuffer(MidiInRecorder& recorder, const RecordedEvent& event) {
    const int32_t index = event.data2 * 256 + event.data1;
    if (recorder.inHandle == nullptr || event.status != kStatusSysEx || index >= sysExBufferCount ||
        sysExBuffers[index].lpData == nullptr) {
        return false;
    }
    // The device finished the buffer before its event was published and touches it again only
    // once it is queued, so until then it is the caller's to clear.
    MIDIHDR& header = sysExBuffers[index];
    header.dwBytesRecorded = 0;
    return midiInAddBuffer(recorder.inHandle, &header, sizeof(MIDIHDR)) == MMSYSERR_NOERROR;
}

const MIDIHDR& recordedSysExBuffer(const RecordedEvent& event) {
    static const MIDIHDR kEmpty = {};
    const int32_t index = event.data2 * 256 + event.data1;
    return index < kSysExHeaderCount ? sysExBuffers[index] : kEmpty;
}
