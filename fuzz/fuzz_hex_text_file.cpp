// Hex text files on any bytes: the reading is compared with a plain reading of the rules
// (pairs of hex digits, an optional 0x before a pair, blanks, commas, line ends, comments
// from # or ; to the line's end), an error must name a line and column inside the text, and
// what reads is written in the listing's format and must read back the same. The file's kind
// is told alike whole and in pieces.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/hex_text_file.h"
#include "fuzz/fuzz_support.h"

namespace {

bool isHexDigit(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned valueOf(uint8_t c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The bytes the text spells, or false when something in it is no part of hex text.
bool plainReading(const std::vector<uint8_t>& text, std::vector<uint8_t>& bytes) {
    const size_t n = text.size();
    size_t i = n >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF ? 3 : 0;
    while (i < n) {
        const uint8_t c = text[i];
        if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == ',' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '#' || c == ';') {
            while (i < n && text[i] != '\r' && text[i] != '\n') {
                ++i;
            }
        } else {
            if (c == '0' && i + 1 < n && (text[i + 1] | 0x20) == 'x') {
                i += 2;
            }
            if (i + 1 >= n || !isHexDigit(text[i]) || !isHexDigit(text[i + 1])) {
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(valueOf(text[i]) * 16 + valueOf(text[i + 1])));
            i += 2;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> text(data, data + size);
    // A file's kind is told the same when its start arrives in pieces, as a read gives them.
    FileKindProbe pieces;
    for (size_t at = 0; at < size; at += 1 + at % 3) {
        probeFileKind(pieces, data + at, std::min<size_t>(1 + at % 3, size - at), at);
    }
    FUZZ_CHECK((pieces.kind == FileKindProbe::Kind::HexText) == isHexText(text));
    SyxFile file;
    std::string error;
    const bool accepted = readHexText(text, "f", file, error);

    SyxFile plain;
    size_t offset = 0;
    std::string what;
    const bool valid = plainReading(text, plain.bytes) && splitSyxMessages(plain, offset, what);
    FUZZ_CHECK(accepted == valid);
    if (!accepted) {
        size_t lines = 1;
        for (size_t i = 0; i < size; ++i) {
            lines += text[i] == '\n' || (text[i] == '\r' && (i + 1 == size || text[i + 1] != '\n'));
        }
        unsigned long line = 0;
        unsigned long column = 0;
        FUZZ_CHECK(std::sscanf(error.c_str(), "invalid hex text in f at line %lu, column %lu: ",
                               &line, &column) == 2);
        FUZZ_CHECK(line >= 1 && line <= lines && column >= 1 && column <= size + 1);
        FUZZ_CHECK(file.bytes.empty() && file.messageStarts.empty());
        return 0;
    }
    FUZZ_CHECK(file.bytes == plain.bytes && file.messageStarts == plain.messageStarts);
    const std::string written = hexTextLines(file.bytes);
    SyxFile again;
    FUZZ_CHECK(
        readHexText(std::vector<uint8_t>(written.begin(), written.end()), "f", again, error));
    FUZZ_CHECK(again.bytes == file.bytes);
    return 0;
}
