// Hex text files: SysEx messages written as hexadecimal byte pairs, as people keep dumps in
// mail, forums and manuals. Pairs stand separated by blanks, commas or line ends, or run
// together (F07E7F0601F7); "0x" may stand before a pair; # or ; starts a comment that runs to
// the end of the line. The bytes must form messages as in a .syx file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/syx_file.h"

// Tells hex text from raw SysEx by a file's start, a piece at a time: it is hex text when the
// first byte that is no blank or line end is a hex digit, # or ;. A .syx file starts with F0,
// which is none of these. A UTF-8 byte order mark at the start (some editors write one) is
// passed over.
struct FileKindProbe {
    enum class Kind { Undecided, Raw, HexText };
    Kind kind = Kind::Undecided;
    size_t markBytes = 0;  // of the byte order mark, seen at the start so far
    size_t decidedAt = 0;  // the offset of the byte that told the kind
};

// Looks at the next count bytes of the file, the first of them at offset, while undecided.
void probeFileKind(FileKindProbe& probe, const uint8_t* bytes, size_t count, size_t offset);

// Whether the whole content is hex text by the probe's rule.
bool isHexText(const std::vector<uint8_t>& content);

// Reads content (the file's bytes) as hex text into file.bytes and splits it into messages
// like a .syx file. On failure errorText is the whole error line without "error: ":
// "invalid hex text in PATH at line L, column C: what", columns counting bytes from 1.
bool readHexText(const std::vector<uint8_t>& content, const std::string& path, SyxFile& file,
                 std::string& errorText);

// The received bytes as hex text in the listing's format: each byte as two upper-case digits
// and a blank, one message a line (a line ends after each F7 and before an F0 that does not
// start one). Reads back with readHexText when the bytes are whole messages.
std::string hexTextLines(const std::vector<uint8_t>& bytes);
