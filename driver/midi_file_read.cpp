#include "driver/midi_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "driver/midi_file_track.h"

namespace {

constexpr uint32_t kDefaultMicrosecondsPerQuarter = 500000;

// value * numerator / denominator, rounded down; false when it does not fit.
bool scaled(uint64_t value, uint64_t numerator, uint64_t denominator, uint64_t& result) {
    const uint64_t whole = value / denominator;
    const uint64_t rest = value % denominator;  // rest * numerator stays below 2^48 here
    if (numerator != 0 && whole > std::numeric_limits<uint64_t>::max() / numerator) {
        return false;
    }
    const uint64_t high = whole * numerator;
    const uint64_t low = rest * numerator / denominator;
    result = high + low;
    return result >= high;
}

// Gives each message its time in microseconds. Ticks are either quarter-note fractions timed
// by the tempo map or fractions of an SMPTE frame.
bool timeMessages(MidiFileReading& reading, uint16_t division, std::vector<TimedSysEx>& out) {
    std::stable_sort(reading.tempos.begin(), reading.tempos.end(),
                     [](const TickedTempo& a, const TickedTempo& b) { return a.tick < b.tick; });
    std::stable_sort(reading.messages.begin(), reading.messages.end(),
                     [](const TickedSysEx& a, const TickedSysEx& b) { return a.tick < b.tick; });
    const bool smpte = (division & 0x8000) != 0;
    const int framesPerSecond = -static_cast<int8_t>(division >> 8);
    const uint64_t ticksPerFrame = division & 0xFF;
    // 29 stands for 29.97 frames per second (30 drop frame).
    const uint64_t smpteNumerator = framesPerSecond == 29 ? 100000000 : 1000000;
    const uint64_t smpteDenominator =
        (framesPerSecond == 29 ? 2997 : framesPerSecond) * ticksPerFrame;
    uint64_t segmentTick = 0;
    uint64_t segmentStart = 0;
    uint32_t tempo = kDefaultMicrosecondsPerQuarter;
    size_t nextTempo = 0;
    out.clear();
    for (TickedSysEx& message : reading.messages) {
        uint64_t time = 0;
        bool fits = true;
        if (smpte) {
            fits = scaled(message.tick, smpteNumerator, smpteDenominator, time);
        } else {
            for (; nextTempo < reading.tempos.size() &&
                   reading.tempos[nextTempo].tick <= message.tick;
                 ++nextTempo) {
                uint64_t length = 0;
                fits = fits && scaled(reading.tempos[nextTempo].tick - segmentTick, tempo, division,
                                      length);
                segmentStart += length;
                fits = fits && segmentStart >= length;
                segmentTick = reading.tempos[nextTempo].tick;
                tempo = reading.tempos[nextTempo].microsecondsPerQuarter;
            }
            fits = fits && scaled(message.tick - segmentTick, tempo, division, time);
            time += segmentStart;
            fits = fits && time >= segmentStart;
        }
        if (!fits) {
            return failReading(reading, message.offset, "event time too large to be timed");
        }
        out.push_back(TimedSysEx{time, std::move(message.bytes), message.offset});
    }
    return true;
}

// The MThd chunk's fields, checked: its length is given by its chunk header.
bool readHeader(MidiFileReading& reading, uint32_t length, uint16_t& format,
                uint16_t& declaredTracks, uint16_t& division) {
    if (length < 6) {
        return failReading(
            reading, 4, "bad length " + std::to_string(length) + " of the MThd chunk (at least 6)");
    }
    format = static_cast<uint16_t>(bigEndianAt(reading.bytes, 8, 2));
    declaredTracks = static_cast<uint16_t>(bigEndianAt(reading.bytes, 10, 2));
    division = static_cast<uint16_t>(bigEndianAt(reading.bytes, 12, 2));
    const bool smpte = (division & 0x8000) != 0;
    const int framesPerSecond = -static_cast<int8_t>(division >> 8);
    if (format > 1) {
        return failReading(reading, 8,
                           (format == 2 ? "unsupported" : "unknown") + std::string(" format ") +
                               std::to_string(format) + " (formats 0 and 1 only)");
    } else if (division == 0) {
        return failReading(reading, 12, "division of 0 ticks per quarter note");
    } else if (smpte && framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 &&
               framesPerSecond != 30) {
        return failReading(reading, 12,
                           "SMPTE division of " + std::to_string(framesPerSecond) +
                               " frames per second (24, 25, 29 or 30)");
    } else if (smpte && (division & 0xFF) == 0) {
        return failReading(reading, 13, "SMPTE division of 0 ticks per frame");
    }
    return true;
}

// The chunks in file order: the header first, then the tracks; other chunks are skipped.
bool readChunks(MidiFileReading& reading, MidiFileSysEx& contents) {
    const std::vector<uint8_t>& bytes = reading.bytes;
    const size_t size = bytes.size();
    if (!looksLikeMidiFile(bytes)) {
        return failReading(reading, 0, "no MThd header (not a Standard MIDI File)");
    }
    size_t pos = 0;
    uint16_t format = 0;
    uint16_t declaredTracks = 0;
    uint16_t division = 0;
    size_t trackChunks = 0;
    while (pos < size) {
        if (size - pos < 8) {
            return failReading(reading, pos,
                               "truncated chunk: " + std::to_string(size - pos) +
                                   " bytes where a chunk header needs 8");
        }
        const uint32_t length = bigEndianAt(bytes, pos + 4, 4);
        const size_t begin = pos + 8;
        if (length > size - begin) {
            return failReading(reading, pos,
                               "truncated chunk: its length is " + std::to_string(length) +
                                   " bytes, the file has " + std::to_string(size - begin) +
                                   " after its header");
        }
        const char* type = reinterpret_cast<const char*>(bytes.data() + pos);
        if (pos == 0) {
            if (!readHeader(reading, length, format, declaredTracks, division)) {
                return false;
            }
        } else if (std::memcmp(type, "MTrk", 4) == 0) {
            ++trackChunks;
            if (!readTrackChunk(reading, begin, begin + length)) {
                return false;
            }
        }  // chunks of other types are skipped: later versions of the format may add some
        pos = begin + length;
    }
    if (trackChunks != declaredTracks) {
        return failReading(reading, size,
                           std::to_string(trackChunks) +
                               " track chunks where the header declares " +
                               std::to_string(declaredTracks));
    }
    if (reading.messages.empty()) {
        return failReading(reading, kNoFileOffset, "no sysex message");
    }
    contents.skippedEvents = reading.skippedEvents;
    return timeMessages(reading, division, contents.messages);
}

}  // namespace

bool looksLikeMidiFile(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "MThd", 4) == 0;
}

bool readMidiFile(const std::string& name, const std::vector<uint8_t>& bytes,
                  MidiFileSysEx& contents, std::string& errorText) {
    MidiFileReading reading{bytes, {}, {}, 0, kNoFileOffset, {}};
    contents = MidiFileSysEx{};
    if (readChunks(reading, contents)) {
        return true;
    }
    contents = MidiFileSysEx{};
    errorText = "invalid MIDI file " + name;
    if (reading.errorOffset != kNoFileOffset) {
        errorText += " at byte offset " + std::to_string(reading.errorOffset);
    }
    errorText += ": " + reading.errorWhat;
    return false;
}
