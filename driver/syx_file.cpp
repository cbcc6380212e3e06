#include "driver/syx_file.h"

#include "driver/hex_text.h"

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
