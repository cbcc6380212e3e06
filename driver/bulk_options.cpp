#include "driver/bulk_options.h"

#include "driver/program_options.h"
#include "driver/progress.h"
#include "driver/syx_send.h"
#include "driver/usage.h"
#include "files/file_writing.h"
#include "options/option_table.h"

namespace {

bool given(const OptionTable& table, const char* name) {
    return table.values.count(name) != 0;
}

}  // namespace

BulkOptions readBulkOptions(const OptionTable& table) {
    BulkOptions options;
    const int32_t idle = table.getInt("idle", 0);
    options.idleMs = idle > 0 ? static_cast<DWORD>(idle) : 0;
    options.save = given(table, "save");
    options.savePath = table.getText("save", "");
    options.send = given(table, "send");
    options.sendPath = table.getText("send", "");
    options.gapMs = table.getInt("gap", 0);
    return options;
}

bool loadFileToSend(const BulkOptions& options, const OptionTable& commandLine, SyxFile& file) {
    // The settings file's message gives way to the file, so only the command line's counts.
    if (!commandLine.positionals.empty()) {
        writeLineToStderr("error: a message on the command line and -send=" + options.sendPath +
                          " exclude each other\n");
        printUsage();
        return false;
    }
    std::string errorText;
    if (!readSyxFile(options.sendPath, file, errorText)) {
        writeLineToStderr("error: " + errorText + "\n");
        return false;
    }
    errorText = oversizedMessageError(file, options.sendPath);
    if (!errorText.empty()) {
        writeLineToStderr("error: " + errorText + "\n");
        return false;
    }
    return true;
}

bool checkSavePath(const BulkOptions& options) {
    std::string reason;
    if (!checkSafeFileTarget(options.savePath, reason)) {
        writeLineToStderr("error: cannot write " + options.savePath + ": " + reason + "\n");
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
        writeLineToStderr("error: cannot write " + options.savePath + ": " + reason + "\n");
        return false;
    }
    return true;
}
