#include "driver/send_file.h"

#include "driver/hex_text_file.h"
#include "driver/midi_file.h"
#include "files/file_reading.h"
#include "options/text_helpers.h"

namespace {

constexpr uint8_t kMidiFileStart[] = {'M', 'T', 'h', 'd'};
constexpr size_t kMidiFileStartSize = sizeof kMidiFileStart;

enum class Kind { Undecided, Syx, Midi, HexText };

// The check while reading. The first bytes tell the kinds apart (a .syx file starts with F0,
// hex text with a hex digit after blanks); a .syx file is checked as it arrives, a .mid file
// and hex text once they are read whole.
struct SendFileScan {
    Kind kind = Kind::Undecided;
    size_t startSeen = 0;  // first bytes that matched MThd so far
    FileKindProbe text;    // hex text or not, until the first byte that is no blank
    uint8_t firstByte = 0;
    SyxScan syx;
};

// The start turned out to be no MThd: what matched of it is checked as .syx, and fails there.
bool takeAsSyx(SendFileScan& scan) {
    scan.kind = Kind::Syx;
    return scanSyxBytes(scan.syx, kMidiFileStart, scan.startSeen);
}

bool scanSendFile(SendFileScan& scan, const uint8_t* bytes, size_t count, size_t offset) {
    if (scan.kind == Kind::Undecided && scan.startSeen == 0) {
        // Before an MThd has begun: blanks keep the kind open, a hex digit makes hex text.
        scan.firstByte = offset == 0 && count > 0 ? bytes[0] : scan.firstByte;
        probeFileKind(scan.text, bytes, count, offset);
        if (scan.text.kind == FileKindProbe::Kind::Undecided) {
            return true;
        }
        if (scan.text.kind == FileKindProbe::Kind::HexText) {
            scan.kind = Kind::HexText;
        } else if (scan.text.decidedAt > 0) {
            // Blanks, then no hex digit: refused at the file's first byte, as .syx.
            scan.kind = Kind::Syx;
            return scanSyxBytes(scan.syx, &scan.firstByte, 1);
        }
    }
    if (scan.kind == Kind::HexText) {
        return true;
    }
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
    const ReadCheck check = [&scan](const uint8_t* bytes, size_t count, size_t offset) {
        return scanSendFile(scan, bytes, count, offset);
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
    if (result == ReadResult::Read && scan.kind == Kind::HexText) {
        return readHexText(bytes, path, file.messages, errorText);
    }
    // Nothing but blanks: the first of them is refused.
    const bool blanks = scan.kind == Kind::Undecided && scan.startSeen == 0 && !bytes.empty();
    if (result == ReadResult::Refused || (blanks && !scanSyxBytes(scan.syx, &scan.firstByte, 1)) ||
        (scan.kind == Kind::Undecided && !takeAsSyx(scan)) || !finishSyxScan(scan.syx)) {
        errorText = "invalid sysex file " + path + " at byte offset " +
                    std::to_string(scan.syx.errorOffset) + ": " + scan.syx.errorText;
        return false;
    }
    file.messages.bytes = std::move(bytes);
    file.messages.messageStarts = std::move(scan.syx.messageStarts);
    return true;
}
