#include "driver/dump_files.h"

#include "driver/hex_text_file.h"
#include "driver/report.h"
#include "driver/syx_send.h"
#include "files/file_writing.h"
#include "options/value_conversion.h"

namespace {

// A name ending in .txt, in any letter case.
bool savesHexText(const std::string& path) {
    return path.size() >= 4 && equalsNoCase(".txt", path.c_str() + path.size() - 4);
}

std::vector<uint8_t> hexTextBytes(const std::vector<uint8_t>& bytes) {
    const std::string text = hexTextLines(bytes);
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace

bool loadFileToSend(const BulkOptions& options, SyxFile& file) {
    std::string errorText;
    if (readSyxFile(options.sendPath, file, errorText)) {
        errorText = oversizedMessageError(file, options.sendPath);
    }
    if (!errorText.empty()) {
        reportError(errorText);
        return false;
    }
    return true;
}

bool checkSavePath(const BulkOptions& options) {
    std::string reason;
    if (!checkSafeFileTarget(options.savePath, reason)) {
        reportError("cannot write " + options.savePath + ": " + reason);
        return false;
    }
    return true;
}

bool saveReceived(const BulkOptions& options, const std::vector<uint8_t>& bytes, int32_t inDevice) {
    if (bytes.empty()) {
        writeLineToStderr("no sysex data received from MIDI input device " +
                          std::to_string(inDevice) + ", " + options.savePath + " not written\n");
        return true;
    }
    std::string reason;
    const bool written = savesHexText(options.savePath)
                             ? writeWholeFile(options.savePath, hexTextBytes(bytes), reason)
                             : writeWholeFile(options.savePath, bytes, reason);
    if (!written) {
        reportError("cannot write " + options.savePath + ": " + reason);
        return false;
    }
    return true;
}
