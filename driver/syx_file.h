// .syx files: SysEx messages back to back, the raw bytes. Reading checks the bytes as they
// arrive, so the first wrong byte ends the read (driver/send_file.h reads them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SyxFile {
    std::vector<uint8_t> bytes;
    std::vector<size_t> messageStarts;  // offset of each message's F0, in file order
};

// The check of .syx contents piece by piece: each message starts with F0, ends with F7 and
// holds only bytes up to 7F between, and nothing stands between messages.
struct SyxScan {
    bool inMessage = false;
    size_t scanned = 0;                 // bytes checked so far
    std::vector<size_t> messageStarts;  // offset of each message's F0
    size_t errorOffset = 0;             // of the offending byte, once the check failed
    std::string errorText;              // what is wrong
};

// Checks the next count bytes; false at the first byte against the rules.
bool scanSyxBytes(SyxScan& scan, const uint8_t* bytes, size_t count);

// After the last byte: false when no message, or the last one unended, was seen.
bool finishSyxScan(SyxScan& scan);

// The length of message `index` of file.
size_t syxMessageLength(const SyxFile& file, size_t index);

// Splits file.bytes into messages by the rules of SyxScan; no bytes hold no message and fail
// too. On failure errorOffset is the offending byte's offset and errorText says what is wrong.
bool splitSyxMessages(SyxFile& file, size_t& errorOffset, std::string& errorText);
