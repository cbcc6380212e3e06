#include "driver/hex_text_file.h"

#include <cstddef>

#include "driver/hex_text.h"
#include "options/char_class.h"

namespace {

constexpr size_t kReadAll = static_cast<size_t>(-1);

struct TextPosition {
    size_t line = 1;
    size_t column = 1;
};

bool isHexDigitByte(uint8_t c) {
    return c < 0x80 && isAsciiHexDigit(static_cast<char>(c));
}

bool isLineEnd(uint8_t c) {
    return c == '\n' || c == '\r';
}

bool isSeparator(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == ',';
}

bool isCommentStart(uint8_t c) {
    return c == '#' || c == ';';
}

unsigned digitValue(uint8_t c) {
    const char upper = asciiUpper(static_cast<char>(c));
    return isAsciiDigit(upper) ? static_cast<unsigned>(upper - '0')
                               : static_cast<unsigned>(upper - 'A' + 10);
}

size_t byteOrderMarkLength(const std::vector<uint8_t>& content) {
    const bool mark =
        content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF;
    return mark ? 3 : 0;
}

// A byte that has no place in hex text, as a person can find it in the file.
std::string unexpected(uint8_t c) {
    if (c > 0x20 && c < 0x7F) {
        return std::string("unexpected '") + static_cast<char>(c) + "'";
    }
    return "unexpected byte " + hexByteText(c);
}

// Reads the bytes the text spells, appending them to bytes. When byte number stopAt is
// reached it stops with at on that byte's first character (its 0x, or its first digit);
// having read everything, at is just past the last character. False, with at and what
// telling, at the first thing that has no place in hex text.
bool scanHexText(const std::vector<uint8_t>& content, size_t stopAt, std::vector<uint8_t>& bytes,
                 TextPosition& at, std::string& what) {
    const size_t n = content.size();
    size_t i = byteOrderMarkLength(content);
    at = TextPosition{};
    while (i < n) {
        const uint8_t c = content[i];
        if (isLineEnd(c)) {
            i += (c == '\r' && i + 1 < n && content[i + 1] == '\n') ? 2 : 1;
            ++at.line;
            at.column = 1;
            continue;
        }
        if (isSeparator(c) || isCommentStart(c)) {
            do {
                ++i;
                ++at.column;
            } while (isCommentStart(c) && i < n && !isLineEnd(content[i]));
            continue;
        }
        if (bytes.size() == stopAt) {
            return true;
        }
        const bool prefix =
            c == '0' && i + 1 < n && (content[i + 1] == 'x' || content[i + 1] == 'X');
        const size_t first = prefix ? i + 2 : i;
        if (first >= n || !isHexDigitByte(content[first])) {
            what = prefix ? "0x without a byte after it" : unexpected(c);
            return false;
        }
        at.column += first - i;
        const size_t second = first + 1;
        if (second >= n || !isHexDigitByte(content[second])) {
            const bool alone = second >= n || isLineEnd(content[second]) ||
                               isSeparator(content[second]) || isCommentStart(content[second]);
            what =
                alone ? "a lone hex digit; each byte is two digits" : unexpected(content[second]);
            at.column += alone ? 0 : 1;
            return false;
        }
        bytes.push_back(
            static_cast<uint8_t>(digitValue(content[first]) * 16 + digitValue(content[second])));
        i = second + 1;
        at.column += 2;
    }
    return true;
}

// Where byte number index of the text stands.
TextPosition positionOfByte(const std::vector<uint8_t>& content, size_t index) {
    std::vector<uint8_t> scratch;
    TextPosition at;
    std::string what;
    scanHexText(content, index, scratch, at, what);
    return at;
}

std::string lineAndColumn(const TextPosition& at) {
    return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
}

}  // namespace

void probeFileKind(FileKindProbe& probe, const uint8_t* bytes, size_t count, size_t offset) {
    static const uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    using Kind = FileKindProbe::Kind;
    for (size_t i = 0; i < count && probe.kind == Kind::Undecided; ++i) {
        const uint8_t c = bytes[i];
        const size_t at = offset + i;
        probe.decidedAt = at;
        if (at < sizeof kMark && probe.markBytes == at && c == kMark[at]) {
            ++probe.markBytes;
        } else if (probe.markBytes > 0 && probe.markBytes < sizeof kMark) {
            probe.kind = Kind::Raw;  // a mark begun and not finished: its first byte counts
        } else if (isLineEnd(c) || (c != ',' && isSeparator(c))) {
            continue;
        } else {
            probe.kind = isHexDigitByte(c) || isCommentStart(c) ? Kind::HexText : Kind::Raw;
        }
    }
}

bool isHexText(const std::vector<uint8_t>& content) {
    FileKindProbe probe;
    probeFileKind(probe, content.data(), content.size(), 0);
    return probe.kind == FileKindProbe::Kind::HexText;
}

bool readHexText(const std::vector<uint8_t>& content, const std::string& path, SyxFile& file,
                 std::string& errorText) {
    file.bytes.clear();
    file.messageStarts.clear();
    TextPosition at;
    std::string what;
    bool read = scanHexText(content, kReadAll, file.bytes, at, what);
    SyxScan scan;
    if (read &&
        !(scanSyxBytes(scan, file.bytes.data(), file.bytes.size()) && finishSyxScan(scan))) {
        read = false;
        what = scan.errorText;
        if (scan.inMessage && scan.scanned == file.bytes.size()) {
            // The last message is open at the end of the text (where at stands): say where it
            // started rather than at which byte offset.
            what = "end of file before the F7 of the message at " +
                   lineAndColumn(positionOfByte(content, scan.messageStarts.back()));
        } else if (!file.bytes.empty()) {
            at = positionOfByte(content, scan.errorOffset);
        }
    }
    file.messageStarts = std::move(scan.messageStarts);
    if (!read) {
        errorText = "invalid hex text in " + path + " at " + lineAndColumn(at) + ": " + what;
        file.bytes.clear();
        file.messageStarts.clear();
    }
    return read;
}

std::string hexTextLines(const std::vector<uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 3 + 1);
    bool lineOpen = false;
    for (const uint8_t byte : bytes) {
        if (byte == 0xF0 && lineOpen) {
            text += '\n';
        }
        text += hexByteText(byte);
        text += ' ';
        lineOpen = byte != 0xF7;
        if (!lineOpen) {
            text += '\n';
        }
    }
    if (lineOpen) {
        text += '\n';
    }
    return text;
}
