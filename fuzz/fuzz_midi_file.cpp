// The .mid reader on any bytes. A refusal is one line naming the file; what it accepts is whole
// SysEx in time order, made of the file's own bytes, and the writer writes it into a file that
// reads back the same, times rounded to the writer's millisecond ticks.
#include <cstdint>
#include <vector>

#include "driver/midi_file.h"
#include "fuzz/fuzz_support.h"

namespace {

bool isWholeSysEx(const std::vector<uint8_t>& bytes) {
    bool inside = bytes.size() >= 2 && bytes.front() == 0xF0 && bytes.back() == 0xF7;
    for (size_t i = 1; inside && i + 1 < bytes.size(); ++i) {
        inside = bytes[i] <= 0x7F;
    }
    return inside;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    MidiFileSysEx contents;
    contents.skippedEvents = 1;
    std::string error;
    if (!readMidiFile("f.mid", bytes, contents, error)) {
        FUZZ_CHECK(error.rfind("invalid MIDI file f.mid", 0) == 0 &&
                   error.find('\n') == error.npos);
        FUZZ_CHECK(contents.messages.empty() && contents.skippedEvents == 0);
        return 0;
    }
    FUZZ_CHECK(looksLikeMidiFile(bytes) && !contents.messages.empty());
    size_t total = 0;
    uint64_t previous = 0;
    std::vector<uint64_t> milliseconds;
    for (const TimedSysEx& message : contents.messages) {
        FUZZ_CHECK(isWholeSysEx(message.bytes) && message.microseconds >= previous);
        previous = message.microseconds;
        total += message.bytes.size();
        milliseconds.push_back(message.microseconds / 1000 + (message.microseconds % 1000 >= 500));
    }
    FUZZ_CHECK(total <= size);  // no file byte is used twice, F0 events give their status byte

    std::vector<uint8_t> written;
    std::string reason;
    if (!writeMidiFile(contents.messages, written, reason)) {
        // Only a gap longer than one delta time can hold (about 74 hours) is refused.
        FUZZ_CHECK(reason.find("ms after the one before it") != reason.npos);
        return 0;
    }
    MidiFileSysEx back;
    FUZZ_CHECK(readMidiFile("w.mid", written, back, error));
    FUZZ_CHECK(back.skippedEvents == 0 && back.messages.size() == contents.messages.size());
    for (size_t i = 0; i < back.messages.size(); ++i) {
        FUZZ_CHECK(back.messages[i].bytes == contents.messages[i].bytes);
        FUZZ_CHECK(back.messages[i].microseconds == milliseconds[i] * 1000);
    }
    return 0;
}
