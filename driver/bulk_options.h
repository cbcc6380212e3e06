// The options for whole bulk dumps and .syx files: -idle, -save, -send and -gap, read from the
// parsed table, and the steps of the run that they add.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/syx_file.h"
#include "platform/windows_api.h"

struct OptionTable;

struct BulkOptions {
    DWORD idleMs = 0;  // 0: the wait ends at the first buffer holding F7
    bool save = false;
    std::string savePath;
    bool send = false;
    std::string sendPath;
    int32_t gapMs = 0;
};

BulkOptions readBulkOptions(const OptionTable& table);

// With -send: checks that no message is on the command line (read alone, commandLineAlone) and
// reads and checks the whole file. False with the error line written (status 1).
bool loadFileToSend(const BulkOptions& options, const OptionTable& commandLine, SyxFile& file);

// With -save, before anything is sent: checks that the file could be written, so a dump is
// not collected for nothing. False with the error line written (status 1).
bool checkSavePath(const BulkOptions& options);

// With -save: writes the received SysEx bytes to the file, or says that nothing came. False
// with the error line written when the file cannot be written.
bool saveReceived(const BulkOptions& options, const std::vector<uint8_t>& bytes, int32_t inDevice);
