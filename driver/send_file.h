// The file that -send sends: a Standard MIDI File when its first bytes are MThd, whatever its
// name, with the times of its messages; hex text when its first byte that is no blank is a hex
// digit (driver/hex_text_file.h); otherwise a .syx file. Read with the files module's
// bound and checked whole before anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/syx_file.h"

struct FileToSend {
    SyxFile messages;  // back to back; those of a .mid joined from its events
    // A .mid file's only: where each message's first event stands in the file, and its time
    // (microseconds from the start of the file). Empty for a .syx file, which has no times.
    std::vector<size_t> fileOffsets;
    std::vector<uint64_t> microseconds;
    size_t skippedEvents = 0;  // a .mid file's MIDI events that are not SysEx
};

// Where message `index` of file starts in the file that was read.
size_t messageFileOffset(const FileToSend& file, size_t index);

// Reads and checks path, at most kFileReadLimit bytes. On failure errorText is the whole error
// line without "error: ".
bool readFileToSend(const std::string& path, FileToSend& file, std::string& errorText);
