#include "driver/send_file.h"

#include "driver/midi_file.h"
#include "files/file_reading.h"
#include "options/text_helpers.h"

namespace {

constexpr uint8_t kMidiFileStart[] = {'M', 'T', 'h', 'd'};
constexpr size_t kMidiFileStartSize = sizeof kMidiFileStart;

enum class Kind { Undecided, Syx, Midi };

// The check while reading. The first bytes tell the kinds apart (a .syx file starts with F0);
// a .syx file is checked as it arrives, a .mid file once it is read whole.
struct SendFileScan {
    Kind kind = Kind::Undecided;
    size_t startSeen = 0;  // first bytes that matched MThd so far
    SyxScan syx;
};

// The start turned out to be no MThd: what matched of it is checked as .syx, and fails there.
bool takeAsSyx(SendFileScan& scan) {
    scan.kind = Kind::Syx;
    return scanSyxBytes(scan.syx, kMidiFileStart, scan.startSeen);
}

bool scanSendFile(SendFileScan& scan, const uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (scan.kind == Kind::Undecided && i < count) {
        if (bytes[i] != kMidiFileStart[scan.startSeen]) {
            if (!takeAsSyx(scan)) {
                return false;
            }
        } else if (++i, ++scan.startSeen == kMidiFileStartSize) {
            scan.kind = Kind::Midi;
        }
    }
    return scan.kind != Kind::Syx || scanSyxBytes(scan.syx, bytes + i, count - i);
}

// The messages of a .mid file, read whole, back to back with their times.
bool takeMidiFile(const std::string& path, std::vector<uint8_t>& bytes, FileToSend& file,
                  std::string& errorText) {
    MidiFileSysEx contents;
    if (!readMidiFile(path, bytes, contents, errorText)) {
        return false;
    }
    bytes = std::vector<uint8_t>();
    file.skippedEvents = contents.skippedEvents;
    for (TimedSysEx& message : contents.messages) {
        file.messages.messageStarts.push_back(file.messages.bytes.size());
        file.messages.bytes.insert(file.messages.bytes.end(), message.bytes.begin(),
                                   message.bytes.end());
        message.bytes = std::vector<uint8_t>();
        file.fileOffsets.push_back(message.fileOffset);
        file.microseconds.push_back(message.microseconds);
    }
    return true;
}

}  // namespace

size_t messageFileOffset(const FileToSend& file, size_t index) {
    return file.fileOffsets.empty() ? file.messages.messageStarts[index] : file.fileOffsets[index];
}

bool readFileToSend(const std::string& path, FileToSend& file, std::string& errorText) {
    file = FileToSend{};
    SendFileScan scan;
    const ReadCheck check = [&scan](const uint8_t* bytes, size_t count, size_t) {
        return scanSendFile(scan, bytes, count);
    };
    std::vector<uint8_t> bytes;
    std::string reason;
    const ReadResult result = readFileWithBound(path, kFileReadLimit, check, bytes, reason);
    if (result == ReadResult::Failed) {
        errorText = "cannot read " + path + ": " + reason;
        return false;
    }
    if (result == ReadResult::TooLarge) {
        errorText = "cannot read " + path + ": larger than " + groupedNumber(kFileReadLimit) +
                    " bytes (" + std::to_string(kFileReadLimit >> 20) + " MiB), the most a " +
                    "file may hold";
        return false;
    }
    if (result == ReadResult::Read && scan.kind == Kind::Midi) {
        return takeMidiFile(path, bytes, file, errorText);
    }
    if (result == ReadResult::Refused || (scan.kind == Kind::Undecided && !takeAsSyx(scan)) ||
        !finishSyxScan(scan.syx)) {
        errorText = "invalid sysex file " + path + " at byte offset " +
                    std::to_string(scan.syx.errorOffset) + ": " + scan.syx.errorText;
        return false;
    }
    file.messages.bytes = std::move(bytes);
    file.messages.messageStarts = std::move(scan.syx.messageStarts);
    return true;
}
