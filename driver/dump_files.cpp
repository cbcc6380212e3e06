#include "driver/dump_files.h"

#include "driver/hex_text_file.h"
#include "driver/kept_sysex.h"
#include "driver/midi_file.h"
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
    std::vector<uint8_t> contents;
    const bool midi = savesMidiFile(options.savePath);
    const bool text = !midi && savesHexText(options.savePath);
    if (text) {
        contents = hexTextBytes(kept.bytes);
    }
    if ((midi && !writeMidiFile(timedMessages(kept), contents, reason)) ||
        !writeWholeFile(options.savePath, midi || text ? contents : kept.bytes, reason)) {
        reportError("cannot write " + options.savePath + ": " + reason);
        return false;
    }
    return true;
}
