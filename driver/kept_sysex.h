// The SysEx input of a run as the driver keeps it: the bytes of every received buffer copied
// out of the recorder, with each buffer's length and arrival time. A run that copies as the
// buffers arrive can hand each one back to the input and so collect far more than the
// recorder's buffers hold at once. The listing and -save read from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MidiInRecorder;
struct TimedSysEx;

struct KeptBuffer {
    uint32_t length;  // bytes of this buffer, in KeptSysEx::bytes after those before it
    uint32_t time;    // when it arrived (timeGetTime, milliseconds)
};

struct KeptSysEx {
    bool giveBack = false;  // hand each buffer back to the input once it is copied
    int32_t scanned = 0;    // recorded events examined so far
    std::vector<uint8_t> bytes;
    std::vector<KeptBuffer> buffers;
    int32_t answers = 0;  // buffers holding F7
    // The recorder's counts when keeping began, to tell what reached the input but not here.
    uint32_t sysExBytesAtStart = 0;
    uint32_t lostAtStart = 0;
};

// Before openRecorder: keeps what the recorder records from now on.
KeptSysEx startKeeping(const MidiInRecorder& recorder, bool giveBack);

// Copies the buffers of the SysEx events published since the last call, and gives each back
// when kept.giveBack; returns how many there were.
int32_t keepArrived(KeptSysEx& kept, MidiInRecorder& recorder);

// After closeRecorder: SysEx bytes that reached the input but are not kept, because the input
// had no free buffer or the event area was full.
uint64_t unkeptSysExBytes(const KeptSysEx& kept, const MidiInRecorder& recorder);

// What keeps the kept bytes from being whole messages (F0, data bytes up to 7F, F7 each),
// worded for an error line; empty when they are whole or there are none.
std::string unfinishedMessageText(const KeptSysEx& kept);

// The kept bytes as whole messages, for a .mid file: each at the arrival time of the buffer
// holding its F0, the first at 0. Bytes that are no whole message are passed over (a dump is
// saved only once unfinishedMessageText has found none).
std::vector<TimedSysEx> timedMessages(const KeptSysEx& kept);
