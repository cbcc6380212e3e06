// The events of one track chunk of a Standard MIDI File, read into what the whole file
// gathers: SysEx messages and tempo changes at their ticks, and the count of other events.
// Used by the file reader alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

struct TickedTempo {
    uint64_t tick;
    uint32_t microsecondsPerQuarter;
};

struct TickedSysEx {
    uint64_t tick;
    size_t offset;  // of its first event, for errors
    std::vector<uint8_t> bytes;
};

constexpr size_t kNoFileOffset = std::numeric_limits<size_t>::max();

// The file being read: what its tracks gave so far, or what is wrong and where.
struct MidiFileReading {
    const std::vector<uint8_t>& bytes;
    std::vector<TickedTempo> tempos;
    std::vector<TickedSysEx> messages;
    size_t skippedEvents = 0;
    size_t errorOffset = kNoFileOffset;
    std::string errorWhat;
};

// Records what is wrong at offset (kNoFileOffset for the file as a whole); returns false.
bool failReading(MidiFileReading& reading, size_t offset, const std::string& what);

// The count bytes at offset as one big-endian number.
uint32_t bigEndianAt(const std::vector<uint8_t>& bytes, size_t offset, size_t count);

// Reads the events of the track chunk whose events stand in bytes [begin, end). Messages and
// tempo changes are added in file order with ticks from the track's start.
bool readTrackChunk(MidiFileReading& reading, size_t begin, size_t end);
