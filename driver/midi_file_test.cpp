#include "driver/midi_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

namespace {

using Bytes = std::vector<uint8_t>;
using Timed = std::vector<std::pair<uint64_t, Bytes>>;

Bytes hex(const std::string& text) {
    std::istringstream in(text);
    Bytes bytes;
    for (unsigned byte = 0; in >> std::hex >> byte;) {
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    return bytes;
}

// A file: MThd with its fields (format, tracks, division) in hex, then a track chunk of each
// text of hex events, closed by the end-of-track event unless the text ends with '|'.
Bytes smf(const std::string& fields, std::initializer_list<std::string> tracks) {
    Bytes file = hex("4D 54 68 64 00 00 00 06 " + fields);
    for (std::string events : tracks) {
        const bool open = !events.empty() && events.back() == '|';
        const Bytes body = hex(open ? events.substr(0, events.size() - 1) : events + " 0 FF 2F 0");
        const Bytes header = hex("4D 54 72 6B 0 0");
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(),
                    {static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())});
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

Timed read(const Bytes& file, size_t expectedSkipped) {
    MidiFileSysEx contents;
    std::string error;
    EXPECT_TRUE(readMidiFile("x.mid", file, contents, error)) << error;
    EXPECT_EQ(expectedSkipped, contents.skippedEvents);
    Timed timed;
    for (const TimedSysEx& message : contents.messages) {
        timed.emplace_back(message.microseconds, message.bytes);
    }
    return timed;
}

const char* kOneTrack = "0 0 0 1 0 60";  // format 0, 96 ticks per quarter note

TEST(ReadMidiFile, TempoChangesFromAnyTrackTimeTheMergedTracks) {
    // A note on and one in running status (skipped), a text (not counted), SysEx at a quarter
    // note (120 bpm at first), where the tempo halves.
    EXPECT_EQ((Timed{{500000, hex("F0 41 F7")}, {1500000, hex("F0 F7")}}),
              read(smf(kOneTrack, {"0 90 40 7F 10 40 0 0 FF 1 1 61 50 F0 2 41 F7 0 FF 51 3 0F "
                                   "42 40 60 F0 1 F7"}),
                   2));
    // The second track's tempo times the first; equal times keep track order.
    EXPECT_EQ(
        (Timed{{0, hex("F0 1 F7")}, {0, hex("F0 3 F7")}, {375000, hex("F0 2 F7")}}),
        read(smf("0 1 0 2 0 60", {"0 F0 2 1 F7 60 F0 2 2 F7", "0 F0 2 3 F7 30 FF 51 3 3 D0 90"}),
             0));
    // SMPTE: 25 frames of 40 ticks make 1 ms a tick; 29 is 29.97 frames a second, so 2997
    // ticks at 100 a frame make 1 s.
    EXPECT_EQ((Timed{{1000000, hex("F0 F7")}}), read(smf("0 0 0 1 E7 28", {"87 68 F0 1 F7"}), 0));
    EXPECT_EQ((Timed{{1000000, hex("F0 F7")}}), read(smf("0 0 0 1 E3 64", {"97 35 F0 1 F7"}), 0));
}

TEST(ReadMidiFile, JoinsContinuationsAndReadsEscapes) {
    // Begun without F7, a meta event, continued, ended; a clock escaped (not SysEx); SysEx
    // escaped and continued; SysEx escaped whole.
    EXPECT_EQ(
        (Timed{
            {0, hex("F0 43 12 00 F7")}, {250000, hex("F0 44 45 F7")}, {250000, hex("F0 46 F7")}}),
        read(smf(kOneTrack, {"0 F0 2 43 12 10 FF 1 0 10 F7 1 0 10 F7 1 F7 0 F7 1 F8 "
                             "0 F7 2 F0 44 0 F7 2 45 F7 0 F7 3 F0 46 F7"}),
             1));
}

TEST(ReadMidiFile, MalformedFilesGetOneErrorLine) {
    const std::pair<Bytes, const char*> cases[] = {
        {hex("4D 54 68"), "at byte offset 0: no MThd header"},
        {hex("4D 54 68 64 0 0 0 6 0 0 0 1 0 60 4D 54 72 6B 0 0 1 0 0"), "truncated chunk"},
        {hex("4D 54 68 64 0 0 0 6 0 0 0 1 0 60 4D 54 72 6B 0 0 0 8 0 F0 1 F7 0 FF 2F 0 58"),
         "at byte offset 30: truncated chunk: 1 bytes where a chunk header needs 8"},
        {hex("4D 54 68 64 0 0 0 5 0 0 0 1 0"), "bad length 5 of the MThd chunk"},
        {smf("0 2 0 1 0 60", {"0 F0 1 F7"}), "unsupported format 2"},
        {smf("0 0 0 1 0 0", {"0 F0 1 F7"}), "division of 0 ticks"},
        {smf("0 0 0 1 E9 28", {"0 F0 1 F7"}), "SMPTE division of 23 frames"},
        {smf("0 0 0 1 E7 0", {"0 F0 1 F7"}), "0 ticks per frame"},
        {smf("0 1 0 2 0 60", {"0 F0 1 F7"}), "1 track chunks where the header declares 2"},
        {smf(kOneTrack, {"80 80 80 80 0"}), "variable-length"},
        {smf(kOneTrack, {"0 40 0"}), "at byte offset 23: running status without a status"},
        {smf(kOneTrack, {"0 90 40|"}), "ends inside an event"},
        {smf(kOneTrack, {"0 90 40 80"}), "80 where a data byte"},
        {smf(kOneTrack, {"0 F0 5 1|"}), "bad length 5"},
        {smf(kOneTrack, {"0 F0 1 1"}), "unterminated sysex"},
        {smf(kOneTrack, {"0 F0 0 0 C0 1"}), "channel message inside the unterminated"},
        {smf(kOneTrack, {"0 F0 0 0 F0 0"}), "before the next F0"},
        {smf(kOneTrack, {"0 F0 2 F8 F7"}), "F8 inside a sysex"},
        {smf(kOneTrack, {"0 F0 2 F7 1"}), "F7 inside a sysex"},
        {smf(kOneTrack, {"0 F7 2 F8 F0"}), "F0 inside an escape"},
        {smf(kOneTrack, {"0 FF 51 2 1 2"}), "tempo event of 2 bytes"},
        {smf(kOneTrack, {"0 F1 0"}), "F1 is not an event status"},
        {smf(kOneTrack, {"0 90 40 7F"}), "x.mid: no sysex message"},
        {smf(kOneTrack, {"0 F0 1 F7 0 FF 2F 0 0|"}), "data after the end-of-track"},
    };
    for (const auto& [file, expected] : cases) {
        MidiFileSysEx contents;
        contents.skippedEvents = 9;
        std::string error;
        EXPECT_FALSE(readMidiFile("x.mid", file, contents, error)) << expected;
        EXPECT_EQ(0u, error.find("invalid MIDI file x.mid")) << error;
        EXPECT_NE(std::string::npos, error.find(expected)) << error;
        EXPECT_TRUE(contents.messages.empty() && contents.skippedEvents == 0) << expected;
    }
}

TEST(WriteMidiFile, WritesFormat0AtOneTickAMillisecondThatReadsBack) {
    Bytes longMessage(200, 0x11);
    longMessage.front() = 0xF0;
    longMessage.back() = 0xF7;
    const std::vector<TimedSysEx> messages = {
        {1499, hex("F0 7E F7")}, {201500, hex("F0 F7")}, {201500, longMessage}};
    Bytes file;
    std::string reason;
    ASSERT_TRUE(writeMidiFile(messages, file, reason)) << reason;
    Bytes expected =
        hex("4D 54 68 64 0 0 0 6 0 0 0 1 1 F4 4D 54 72 6B 0 0 0 E0 0 FF 51 3 7 A1 20 "
            "1 F0 2 7E F7 81 49 F0 1 F7 0 F0 81 47");
    expected.insert(expected.end(), longMessage.begin() + 1, longMessage.end());
    expected.insert(expected.end(), {0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(expected, file);
    EXPECT_EQ(
        (Timed{{1000, messages[0].bytes}, {202000, messages[1].bytes}, {202000, longMessage}}),
        read(file, 0));

    EXPECT_FALSE(writeMidiFile({{0, hex("F0 80 F7")}}, file, reason));
    EXPECT_EQ("message 1 is not a whole sysex message (F0, 00 to 7F, F7)", reason);
    EXPECT_TRUE(file.empty());
    EXPECT_FALSE(writeMidiFile({{2000, hex("F0 F7")}, {1000, hex("F0 F7")}}, file, reason));
    EXPECT_EQ("message 2 is earlier than the one before it", reason);
}

}  // namespace
