#include "driver/kept_sysex.h"

#include <algorithm>

#include "driver/answer_wait.h"
#include "driver/midi_file.h"
#include "midi/recorder.h"

namespace {

// The SysEx bytes the recorder has counted. The run records no short messages, and beside the
// SysEx buffers the recorder counts 3 bytes for every clock; the sum wraps, the difference of
// two readings does not mind.
uint32_t countedSysExBytes(const MidiInRecorder& recorder) {
    return static_cast<uint32_t>(recorder.byteCount.load(std::memory_order_relaxed)) -
           3u * static_cast<uint32_t>(recorder.clockCount.load(std::memory_order_relaxed));
}

}  // namespace

KeptSysEx startKeeping(const MidiInRecorder& recorder, bool giveBack) {
    KeptSysEx kept;
    kept.giveBack = giveBack;
    kept.scanned = publishedEventCount(recorder);
    kept.sysExBytesAtStart = countedSysExBytes(recorder);
    kept.lostAtStart = lostSysExBytes;
    return kept;
}

int32_t keepArrived(KeptSysEx& kept, MidiInRecorder& recorder) {
    const int32_t arrived = publishedEventCount(recorder);
    int32_t found = 0;
    for (; kept.scanned < arrived; ++kept.scanned) {
        const RecordedEvent& event = recorder.events[kept.scanned];
        // Clocks are stored too.
        if (event.status != 0xF0) {
            continue;
        }
        const MIDIHDR& header = recordedSysExBuffer(event);
        const uint8_t* data = reinterpret_cast<const uint8_t*>(header.lpData);
        const DWORD length = data != nullptr ? header.dwBytesRecorded : 0;
        kept.bytes.insert(kept.bytes.end(), data, data + length);
        kept.buffers.push_back({length, event.time});
        kept.answers += holdsEndOfSysEx(event) ? 1 : 0;
        // Only now, with its bytes copied, may the device fill the buffer again.
        if (kept.giveBack) {
            requeueSysExBuffer(recorder, event);
        }
        ++found;
    }
    return found;
}

uint64_t unkeptSysExBytes(const KeptSysEx& kept, const MidiInRecorder& recorder) {
    // Bytes the callback counted without an event to name them (the event area was full), and
    // bytes the input dropped for want of a queued buffer.
    const uint32_t counted = countedSysExBytes(recorder) - kept.sysExBytesAtStart;
    const uint64_t keptBytes = kept.bytes.size();
    const uint64_t withoutEvent = counted > keptBytes ? counted - keptBytes : 0;
    return withoutEvent + static_cast<uint32_t>(lostSysExBytes - kept.lostAtStart);
}

std::string unfinishedMessageText(const KeptSysEx& kept) {
    const std::vector<uint8_t>& bytes = kept.bytes;
    bool inMessage = false;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!inMessage) {
            if (bytes[i] != 0xF0) {
                return "the bytes at byte offset " + std::to_string(i) +
                       " have no start (F0) before them";
            }
            inMessage = true;
            start = i;
        } else if (bytes[i] == 0xF7) {
            inMessage = false;
        } else if (bytes[i] > 0x7F) {
            // A message cut short by the next one, or by another status byte.
            return "the message at byte offset " + std::to_string(start) + " has no end (F7)";
        }
    }
    if (inMessage) {
        return "the last message (at byte offset " + std::to_string(start) + ") has no end (F7)";
    }
    return std::string();
}

std::vector<TimedSysEx> timedMessages(const KeptSysEx& kept) {
    std::vector<TimedSysEx> messages;
    const std::vector<uint8_t>& bytes = kept.bytes;
    size_t buffer = 0;
    size_t bufferEnd = kept.buffers.empty() ? 0 : kept.buffers[0].length;
    size_t start = 0;
    bool inMessage = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        while (i >= bufferEnd && buffer + 1 < kept.buffers.size()) {
            bufferEnd += kept.buffers[++buffer].length;
        }
        if (bytes[i] == 0xF0) {
            inMessage = true;
            start = i;
            // The clock wraps after 49 days; a difference of two readings does not mind.
            const uint32_t ms = kept.buffers[buffer].time - kept.buffers[0].time;
            messages.push_back(TimedSysEx{uint64_t{ms} * 1000, {}, start});
        } else if (inMessage && bytes[i] == 0xF7) {
            messages.back().bytes.assign(bytes.begin() + start, bytes.begin() + i + 1);
            inMessage = false;
        } else if (inMessage && bytes[i] > 0x7F) {
            inMessage = false;
        }
    }
    // What never ended is no message.
    messages.erase(std::remove_if(messages.begin(), messages.end(),
                                  [](const TimedSysEx& message) { return message.bytes.empty(); }),
                   messages.end());
    return messages;
}
