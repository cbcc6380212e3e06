#include "driver/dump_files.h"

#include "driver/kept_sysex.h"
#include "driver/midi_file.h"
#include "driver/report.h"
#include "driver/syx_send.h"
#include "files/file_writing.h"

bool loadFileToSend(const BulkOptions& options, FileToSend& file) {
    std::string errorText;
    if (readFileToSend(options.sendPath, file, errorText)) {
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

bool savesMidiFile(const std::string& path) {
    const size_t size = path.size();
    return size >= 4 && path[size - 4] == '.' && (path[size - 3] | 0x20) == 'm' &&
           (path[size - 2] | 0x20) == 'i' && (path[size - 1] | 0x20) == 'd';
}

bool saveReceived(const BulkOptions& options, const KeptSysEx& kept, int32_t inDevice) {
    if (kept.bytes.empty()) {
        writeLineToStderr("no sysex data received from MIDI input device " +
                          std::to_string(inDevice) + ", " + options.savePath + " not written\n");
        return true;
    }
    std::string reason;
    std::vector<uint8_t> midiFile;
    const bool midi = savesMidiFile(options.savePath);
    if ((midi && !writeMidiFile(timedMessages(kept), midiFile, reason)) ||
        !writeWholeFile(options.savePath, midi ? midiFile : kept.bytes, reason)) {
        reportError("cannot write " + options.savePath + ": " + reason);
        return false;
    }
    return true;
}
