#include "driver/syx_file.h"

#include "driver/hex_text.h"
#include "driver/hex_text_file.h"
#include "files/file_reading.h"
#include "options/text_helpers.h"

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;

bool scanFailed(SyxScan& scan, size_t offset, const std::string& text) {
    scan.errorOffset = offset;
    scan.errorText = text;
    return false;
}

}  // namespace

bool scanSyxBytes(SyxScan& scan, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i, ++scan.scanned) {
        const uint8_t byte = bytes[i];
        if (!scan.inMessage) {
            if (byte != kSysExStart) {
                return scanFailed(scan, scan.scanned,
                                  hexByteText(byte) + " where a message must start with F0");
            }
            scan.messageStarts.push_back(scan.scanned);
            scan.inMessage = true;
        } else if (byte == kSysExEnd) {
            scan.inMessage = false;
        } else if (byte > 0x7F) {
            return scanFailed(
                scan, scan.scanned,
                hexByteText(byte) + " inside a message (only 00 to 7F before its F7)");
        }
    }
    return true;
}

bool finishSyxScan(SyxScan& scan) {
    if (scan.scanned == 0) {
        return scanFailed(scan, 0, "no sysex message");
    }
    if (scan.inMessage) {
        return scanFailed(scan, scan.scanned,
                          "end of file before the F7 of the message at byte offset " +
                              std::to_string(scan.messageStarts.back()));
    }
    return true;
}

size_t syxMessageLength(const SyxFile& file, size_t index) {
    const size_t end =
        index + 1 < file.messageStarts.size() ? file.messageStarts[index + 1] : file.bytes.size();
    return end - file.messageStarts[index];
}

bool splitSyxMessages(SyxFile& file, size_t& errorOffset, std::string& errorText) {
    SyxScan scan;
    const bool valid =
        scanSyxBytes(scan, file.bytes.data(), file.bytes.size()) && finishSyxScan(scan);
    file.messageStarts = valid ? std::move(scan.messageStarts) : std::vector<size_t>();
    errorOffset = scan.errorOffset;
    errorText = scan.errorText;
    return valid;
}

bool readSyxFile(const std::string& path, SyxFile& file, std::string& errorText) {
    SyxScan scan;
    FileKindProbe probe;
    uint8_t firstByte = 0;
    // Raw SysEx is checked as it arrives; hex text is read whole (within the bound) and then.
    const ReadCheck check = [&](const uint8_t* bytes, size_t count, size_t offset) {
        if (probe.kind == FileKindProbe::Kind::Undecided) {
            firstByte = offset == 0 && count > 0 ? bytes[0] : firstByte;
            probeFileKind(probe, bytes, count, offset);
            if (probe.kind == FileKindProbe::Kind::Raw && offset > 0) {
                // Blanks came first, in an earlier piece: the file's first byte is refused.
                return scanSyxBytes(scan, &firstByte, 1);
            }
        }
        return probe.kind != FileKindProbe::Kind::Raw || scanSyxBytes(scan, bytes, count);
    };
    std::string reason;
    const ReadResult result = readFileWithBound(path, kFileReadLimit, check, file.bytes, reason);
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
    if (probe.kind == FileKindProbe::Kind::HexText) {
        const std::vector<uint8_t> text = std::move(file.bytes);
        return readHexText(text, path, file, errorText);
    }
    // Nothing but blanks: the first of them is refused.
    const bool refused = result == ReadResult::Refused ||
                         (probe.kind == FileKindProbe::Kind::Undecided && !file.bytes.empty() &&
                          !scanSyxBytes(scan, &firstByte, 1));
    if (refused || !finishSyxScan(scan)) {
        errorText = "invalid sysex file " + path + " at byte offset " +
                    std::to_string(scan.errorOffset) + ": " + scan.errorText;
        return false;
    }
    file.messageStarts = std::move(scan.messageStarts);
    return true;
}
