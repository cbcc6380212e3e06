#include "driver/midi_file_track.h"

#include <algorithm>

#include "driver/hex_text.h"

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;  // also the status of escape and continuation events
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;

// A SysEx message being joined from an F0 event and the F7 events that continue it.
struct SysExJoin {
    bool joining = false;
    TickedSysEx message{};
};

// A variable-length quantity: at most four bytes of seven bits, the last without its top bit.
bool readQuantity(MidiFileReading& reading, size_t& pos, size_t end, uint32_t& value) {
    const size_t start = pos;
    value = 0;
    for (int count = 0; count < 4; ++count) {
        if (pos >= end) {
            return failReading(reading, start, "track chunk ends inside an event");
        }
        const uint8_t byte = reading.bytes[pos++];
        value = value << 7 | (byte & 0x7F);
        if (byte < 0x80) {
            return true;
        }
    }
    return failReading(reading, start, "bad variable-length quantity (longer than 4 bytes)");
}

// A length and the bytes it counts; pos ends after them.
bool readCounted(MidiFileReading& reading, size_t& pos, size_t end, size_t& dataBegin,
                 size_t& length) {
    uint32_t value = 0;
    const size_t lengthOffset = pos;
    if (!readQuantity(reading, pos, end, value)) {
        return false;
    }
    if (value > end - pos) {
        return failReading(reading, lengthOffset,
                           "bad length " + std::to_string(value) + ": the track chunk has " +
                               std::to_string(end - pos) + " bytes left");
    }
    dataBegin = pos;
    length = value;
    pos += value;
    return true;
}

// Adds data to the message being joined and checks it: only 00 to 7F, and F7 only as the last
// byte, where it completes the message.
bool joinSysEx(MidiFileReading& reading, TickedSysEx& message, size_t dataBegin, size_t length,
               bool& complete) {
    const std::vector<uint8_t>& bytes = reading.bytes;
    for (size_t i = dataBegin; i < dataBegin + length; ++i) {
        const bool first = message.bytes.empty();
        const bool last = i + 1 == dataBegin + length;
        if (!(first || bytes[i] <= 0x7F || (last && bytes[i] == kSysExEnd))) {
            return failReading(
                reading, i,
                hexByteText(bytes[i]) + " inside a sysex message (only 00 to 7F before its F7)");
        }
        message.bytes.push_back(bytes[i]);
    }
    complete = message.bytes.size() > 1 && message.bytes.back() == kSysExEnd;
    return true;
}

// A SysEx event (F0) or an escape event (F7) at tick: starts, continues or completes a message,
// or is counted as an event that is not SysEx.
bool readSysExEvent(MidiFileReading& reading, uint8_t status, size_t eventOffset, uint64_t tick,
                    size_t& pos, size_t end, SysExJoin& join) {
    size_t dataBegin = 0;
    size_t length = 0;
    if (!readCounted(reading, pos, end, dataBegin, length)) {
        return false;
    }
    const uint8_t* data = reading.bytes.data() + dataBegin;
    if (status == kSysExStart) {
        if (join.joining) {
            return failReading(reading, eventOffset,
                               "sysex at byte offset " + std::to_string(join.message.offset) +
                                   " not terminated by F7 before the next F0");
        }
        join.message = TickedSysEx{tick, eventOffset, {kSysExStart}};
    } else if (!join.joining && length > 0 && data[0] == kSysExStart) {
        join.message = TickedSysEx{tick, eventOffset, {}};  // SysEx escaped as it stands
    } else if (!join.joining) {
        // Other bytes sent as they stand: system common or realtime, not SysEx. A message
        // hidden after them could not be sent whole.
        const uint8_t* start = std::find(data, data + length, kSysExStart);
        if (start != data + length) {
            return failReading(reading, dataBegin + (start - data),
                               "F0 inside an escape event that does not start with it");
        }
        ++reading.skippedEvents;
        return true;
    }
    bool complete = false;
    if (!joinSysEx(reading, join.message, dataBegin, length, complete)) {
        return false;
    }
    join.joining = !complete;
    if (complete) {
        reading.messages.push_back(std::move(join.message));
    }
    return true;
}

}  // namespace

bool failReading(MidiFileReading& reading, size_t offset, const std::string& what) {
    reading.errorOffset = offset;
    reading.errorWhat = what;
    return false;
}

uint32_t bigEndianAt(const std::vector<uint8_t>& bytes, size_t offset, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value << 8 | bytes[offset + i];
    }
    return value;
}

bool readTrackChunk(MidiFileReading& reading, size_t pos, size_t end) {
    const std::vector<uint8_t>& bytes = reading.bytes;
    uint64_t tick = 0;
    uint8_t runningStatus = 0;  // channel messages only; meta and SysEx events leave it as it is
    SysExJoin join;
    bool ended = false;
    while (pos < end) {
        if (ended) {
            return failReading(reading, pos, "data after the end-of-track event");
        }
        uint32_t delta = 0;
        if (!readQuantity(reading, pos, end, delta)) {
            return false;
        }
        tick += delta;
        if (pos >= end) {
            return failReading(reading, pos, "track chunk ends inside an event");
        }
        const size_t eventOffset = pos;
        uint8_t status = bytes[pos];
        if (status < 0x80) {
            if (runningStatus == 0) {
                return failReading(reading, pos, "running status without a status");
            }
            status = runningStatus;
        } else {
            ++pos;
        }
        size_t dataBegin = 0;
        size_t length = 0;
        if (status < 0xF0) {
            if (join.joining) {
                return failReading(reading, eventOffset,
                                   "channel message inside the unterminated sysex at byte offset " +
                                       std::to_string(join.message.offset));
            }
            length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: 1
            if (length > end - pos) {
                return failReading(reading, eventOffset, "track chunk ends inside an event");
            }
            for (size_t i = pos; i < pos + length; ++i) {
                if (bytes[i] > 0x7F) {
                    return failReading(reading, i,
                                       hexByteText(bytes[i]) + " where a data byte must be");
                }
            }
            pos += length;
            runningStatus = status;
            ++reading.skippedEvents;
        } else if (status == kMeta) {
            if (pos >= end) {
                return failReading(reading, eventOffset, "track chunk ends inside an event");
            }
            const uint8_t type = bytes[pos++];
            if (!readCounted(reading, pos, end, dataBegin, length)) {
                return false;
            }
            if (type == kMetaTempo) {
                if (length != 3) {
                    return failReading(
                        reading, eventOffset,
                        "tempo event of " + std::to_string(length) + " bytes (3 expected)");
                }
                reading.tempos.push_back({tick, bigEndianAt(bytes, dataBegin, 3)});
            }
            ended = type == kMetaEndOfTrack;
        } else if (status == kSysExStart || status == kSysExEnd) {
            if (!readSysExEvent(reading, status, eventOffset, tick, pos, end, join)) {
                return false;
            }
        } else {
            return failReading(
                reading, eventOffset,
                hexByteText(status) +
                    " is not an event status (channel messages, F0, F7 and FF only)");
        }
    }
    if (join.joining) {
        return failReading(reading, join.message.offset,
                           "unterminated sysex: its track ends before an F7 completes it");
    }
    return true;
}
