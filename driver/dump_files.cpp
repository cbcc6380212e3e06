#include "driver/dump_files.h"

#include "driver/report.h"
#include "driver/syx_send.h"
#include "files/file_writing.h"

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
    if (!writeWholeFile(options.savePath, bytes, reason)) {
        reportError("cannot write " + options.savePath + ": " + reason);
        return false;
    }
    return true;
}
