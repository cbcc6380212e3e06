// The .syx files of a run: the one -send sends, read and checked before anything is sent, and
// the one -save writes, checked before anything is sent and written once the dump is whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_request.h"
#include "driver/syx_file.h"

// With -send: reads and checks the whole file. False with the error line written (status 1).
bool loadFileToSend(const BulkOptions& options, SyxFile& file);

// With -save, before anything is sent: checks that the file could be written, so a dump is
// not collected for nothing. False with the error line written (status 1).
bool checkSavePath(const BulkOptions& options);

// With -save: writes the received SysEx bytes to the file (as hex text, one message a line,
// when its name ends in .txt in any letter case), or says that nothing came. False with the
// error line written when the file cannot be written.
bool saveReceived(const BulkOptions& options, const std::vector<uint8_t>& bytes, int32_t inDevice);
