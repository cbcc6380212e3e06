// The MIDI input recorder: records one input device into a flat event list and a pool of
// SysEx receive buffers, with optional thru forwarding, a channel filter and clock timing.
// There is one recorder per process; it is set up during static initialisation and released
// at process exit. Input arrives on the multimedia services' callback thread; the main thread
// reads the events below the count it got from publishedEventCount.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/windows_api.h"

// The event area: one fixed block, allocated at program start and never grown.
constexpr int32_t kRecorderEventCapacity = 65000;
constexpr size_t kRecorderEventBlockBytes = 1040000;
// Header slots in sysExBuffers, of which only the first kSysExBuffersInUse get a buffer.
constexpr int32_t kSysExHeaderCount = 5000;
constexpr int32_t kSysExBuffersInUse = 640;
constexpr DWORD kSysExBufferBytes = 1024;
// inputMode value for which openRecorder succeeds without opening a device.
constexpr int32_t kInputModeNoDevice = 4;

// One received message (or one filled SysEx buffer) in the event area.
struct RecordedEvent {
    uint32_t clockIndex;  // currentClockIndex on arrival; a clock carries the value before it
    uint32_t time;        // timeGetTime when the callback ran
    uint32_t driverTime;  // the device's own time stamp (ms since midiInStart)
    uint8_t status;       // F0 for a SysEx buffer
    uint8_t data1;        // SysEx: low byte of the buffer's index in sysExBuffers
    uint8_t data2;        // SysEx: high byte of that index
};
static_assert(sizeof(RecordedEvent) == 16, "the event block holds 16-byte records");
static_assert(kRecorderEventBlockBytes == sizeof(RecordedEvent) * kRecorderEventCapacity,
              "the event block holds exactly the capacity");

// Fields written by the callback thread are atomics (relaxed, except eventCount); the
// configuration fields are set by the main thread only while no device delivers input.
struct MidiInRecorder {
    int32_t deviceId = 0;        // input device for midiInOpen
    int32_t channelFilter = 0;   // -1: all channels; 0..15: only that channel's messages
    RecordedEvent* events = {};  // the locked event block; null if it could not be allocated
    // Number of events stored. The callback raises it with release after writing the event;
    // read it with publishedEventCount. Set directly only while the recorder is closed.
    std::atomic<int32_t> eventCount{0};
    int32_t eventCapacity = 0;           // 65000, or 0 when the event block is missing
    int32_t inputMode = 0;               // kInputModeNoDevice: open without a device
    int32_t recordSysEx = 0;             // store filled SysEx buffers as events
    int32_t recordShortMessages = 0;     // store short messages other than clock and sensing
    std::atomic<int32_t> clockCount{0};  // F8 messages received
    std::atomic<int32_t> activeSensingCount{0};  // FE messages received
    std::atomic<int32_t> clocksPerQuarter{0};    // 24 once a clock arrived in this opening
    std::atomic<uint32_t> msPerQuarter{0};       // 24 x the last clock interval, 0 if none
    HMIDIIN inHandle = {};
    HGLOBAL eventMemory = {};  // the block behind events
    HMIDIOUT thruHandle = {};
    int32_t thruDeviceId = 0;           // output device for thru; negative: no thru
    std::atomic<int32_t> byteCount{0};  // bytes received, stored or not
};

static_assert(std::atomic<int32_t>::is_always_lock_free, "the callback must not take a lock");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the callback must not take a lock");
static_assert(sizeof(std::atomic<int32_t>) == 4, "counters keep their 32-bit width");
static_assert(sizeof(void*) != 4 || sizeof(MidiInRecorder) == 17 * 4,
              "with 32-bit pointers every field is 32 bits wide");
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64, "buffer headers are 64 bytes");

// The receive buffer headers. Headers 0..639 own a 1024-byte buffer from the first opening
// on; the rest never have one. A SysEx event names header data1 + 256 * data2, whose first
// dwBytesRecorded bytes at lpData are the received bytes.
extern MIDIHDR sysExBuffers[kSysExHeaderCount];
// The recorder the callback serves; null when none is open (the callback then does nothing).
extern std::atomic<MidiInRecorder*> activeRecorder;
// Headers in use: 640 after the first opening, kept by closeRecorder.
extern int32_t sysExBufferCount;
// time of the last clock message.
extern std::atomic<uint32_t> lastClockTime;
// 1 at program start, +1 for every clock received; never reset.
extern std::atomic<uint32_t> currentClockIndex;
// SysEx bytes the input device dropped for want of a free buffer, over every opening (its
// count is taken when the device closes).
extern uint32_t lostSysExBytes;
// The event the callback fills before copying it into the event area (callback thread only).
extern RecordedEvent pendingEvent;

// The process's recorder (initialised before main runs).
MidiInRecorder& theRecorder();

// The number of events whose contents are complete and may be read (acquire).
inline int32_t publishedEventCount(const MidiInRecorder& recorder) {
    return recorder.eventCount.load(std::memory_order_acquire);
}

// The receive buffer a SysEx event names: header data1 + 256 * data2. An index beyond the
// headers, which the callback never writes, gives an empty header.
const MIDIHDR& recordedSysExBuffer(const RecordedEvent& event);

// Hands the buffer that a published SysEx event names back to the open input, to be filled
// again: for a caller that has copied its bytes and wants input beyond the buffers in use.
// After this the event names a buffer whose contents belong to a later event. False when no
// input is open or the event names no buffer in use.
bool requeueSysExBuffer(MidiInRecorder& recorder, const RecordedEvent& event);

// Sets the recorder to its prepared state and allocates the event block. Runs once, during
// static initialisation; destroyRecorder is registered with atexit right after it.
MidiInRecorder& initRecorder();

// Starts recording recorder.deviceId: 1 on success (also when inputMode is
// kInputModeNoDevice, which opens nothing), 0 when the input device did not open. Set
// deviceId, recordSysEx, recordShortMessages, inputMode and optionally channelFilter and
// thruDeviceId before. Keeps the events and counters of an earlier opening.
int32_t openRecorder(MidiInRecorder& recorder);

// Stops recording and closes the devices; events, counters and buffers stay readable.
void closeRecorder(MidiInRecorder& recorder);

// Closes everything and frees the event block and the buffers (at process exit).
void destroyRecorder(MidiInRecorder& recorder);

// The input callback given to midiInOpen with CALLBACK_FUNCTION; ignores handle and instance.
void CALLBACK recorderCallback(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2);

// Used by the callback only. Counts 3 bytes and stores the event if there is room.
void appendShortEvent(MidiInRecorder& recorder, const RecordedEvent& event);
// Used by the callback only. Counts the header's bytes and stores event as the F0 event that
// names the header, if the header is one in use and has a buffer.
void appendSysExEvent(MidiInRecorder& recorder, MIDIHDR* header, RecordedEvent& event);
