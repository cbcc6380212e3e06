// The files of a run: the one -send sends, read and checked before anything is sent, and the
// one -save writes (a .syx file, or a .mid file with the arrival times), checked before
// anything is sent and written once the dump is whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_request.h"
#include "driver/send_file.h"

struct KeptSysEx;

// With -send: reads and checks the whole file. False with the error line written (status 1).
bool loadFileToSend(const BulkOptions& options, FileToSend& file);

// With -save, before anything is sent: checks that the file could be written, so a dump is
// not collected for nothing. False with the error line written (status 1).
bool checkSavePath(const BulkOptions& options);

// Whether -save writes a Standard MIDI File: its name ends in .mid, in any case.
bool savesMidiFile(const std::string& path);

// With -save: writes the received SysEx to the file (as hex text, one message a line, when its
// name ends in .txt in any letter case), or says that nothing came. False with the
// error line written when the file cannot be written.
bool saveReceived(const BulkOptions& options, const KeptSysEx& kept, int32_t inDevice);
