// Standard MIDI Files (.mid) as carriers of SysEx messages with their times. Reading takes the
// file's bytes and checks them whole, so nothing is sent from a file that turns out bad halfway;
// writing gives the bytes of a format 0 file. Neither touches the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One whole SysEx message (F0 ... F7) and its time from the start of the file or recording.
struct TimedSysEx {
    uint64_t microseconds = 0;
    std::vector<uint8_t> bytes;
    size_t fileOffset = 0;  // read: where its first event stands in the file, for errors
};

// What a file holds for the exchange: its SysEx messages in time order (equal times in track
// order, then file order), and how many MIDI events that are not SysEx were passed over.
// Meta events (tempo, end of track, texts) are not counted.
struct MidiFileSysEx {
    std::vector<TimedSysEx> messages;
    size_t skippedEvents = 0;
};

// Whether the bytes begin like a Standard MIDI File (the MThd chunk), whatever the file's name.
bool looksLikeMidiFile(const std::vector<uint8_t>& bytes);

// Reads a format 0 or 1 file: every track merged in time order, times from the tempo map of all
// tracks or from an SMPTE division. SysEx split into an F0 event and F7 continuation events is
// joined; the message takes the time of its F0 event. A lone F7 escape event whose bytes start
// with F0 is SysEx sent as it stands; other escapes are events that are not SysEx. A file
// without any SysEx message fails too. On failure errorText is the whole error line without
// "error: ", naming name and, where there is one, the byte offset of what is wrong.
bool readMidiFile(const std::string& name, const std::vector<uint8_t>& bytes,
                  MidiFileSysEx& contents, std::string& errorText);

// The bytes of a format 0 file: one track at 500 ticks per quarter note and 500,000 µs per
// quarter note, so one tick is one millisecond; each message an F0 event at its time rounded to
// the millisecond; then the end of the track. Messages must be whole (F0, 00 to 7F, F7) and in
// time order. On failure fileBytes is empty and reason says why.
bool writeMidiFile(const std::vector<TimedSysEx>& messages, std::vector<uint8_t>& fileBytes,
                   std::string& reason);
