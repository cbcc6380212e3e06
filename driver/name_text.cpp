#include "driver/name_text.h"

#include <cstdint>
#include <cstdio>

namespace {

// One code point of a UTF-8 text: its value and its length in bytes; length 0 for a byte that
// starts no valid sequence (stray, overlong, a surrogate, beyond U+10FFFF or cut short).
struct CodePoint {
    uint32_t value = 0;
    size_t length = 0;
};

CodePoint decodeAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        return {};
    }
    uint32_t value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {};
        }
        value = value << 6 | (byte(i) & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return {};
    }
    return {value, length};
}

void appendUtf8(uint32_t value, std::string& out) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | value >> 6);
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | value >> 12);
        out += static_cast<char>(0x80 | (value >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | value >> 18);
        out += static_cast<char>(0x80 | (value >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (value >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

bool within(uint32_t c, uint32_t first, uint32_t last) {
    return c >= first && c <= last;
}

// Simple case folding (Unicode's CaseFolding.txt, status C and S) for the scripts names are
// written in here: Latin, Greek, Cyrillic, Armenian. Capital letters map to small ones.
uint32_t foldCodePoint(uint32_t c) {
    // Blocks where a capital letter stands a fixed distance before its small letter.
    struct Shift {
        uint32_t first, last;
        int32_t by;
    };
    static const Shift kShifts[] = {
        {0x41, 0x5A, 32},     {0xC0, 0xD6, 32},     {0xD8, 0xDE, 32},     {0x388, 0x38A, 37},
        {0x38E, 0x38F, 63},   {0x391, 0x3A1, 32},   {0x3A3, 0x3AB, 32},   {0x400, 0x40F, 80},
        {0x410, 0x42F, 32},   {0x531, 0x556, 48},   {0x1F08, 0x1F0F, -8}, {0x1F18, 0x1F1D, -8},
        {0x1F28, 0x1F2F, -8}, {0x1F38, 0x1F3F, -8}, {0x1F48, 0x1F4D, -8},
    };
    for (const Shift& shift : kShifts) {
        if (within(c, shift.first, shift.last)) {
            return static_cast<uint32_t>(static_cast<int32_t>(c) + shift.by);
        }
    }
    // Blocks of pairs, capital then small: the capital stands at an even (or odd) place.
    struct Pairs {
        uint32_t first, last;
    };
    static const Pairs kEvenPairs[] = {
        {0x100, 0x12F}, {0x132, 0x137}, {0x14A, 0x177}, {0x182, 0x185},   {0x1A0, 0x1A5},
        {0x1DE, 0x1EF}, {0x1F8, 0x21F}, {0x222, 0x233}, {0x246, 0x24F},   {0x3D8, 0x3EF},
        {0x460, 0x481}, {0x48A, 0x4BF}, {0x4D0, 0x52F}, {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF},
    };
    static const Pairs kOddPairs[] = {
        {0x139, 0x148}, {0x179, 0x17E}, {0x1B3, 0x1B6}, {0x1CD, 0x1DC}, {0x4C1, 0x4CE},
    };
    for (const Pairs& pairs : kEvenPairs) {
        if (within(c, pairs.first, pairs.last) && c % 2 == 0) {
            return c + 1;
        }
    }
    for (const Pairs& pairs : kOddPairs) {
        if (within(c, pairs.first, pairs.last) && c % 2 == 1) {
            return c + 1;
        }
    }
    // Single letters.
    switch (c) {
        case 0xB5:  // micro sign
            return 0x3BC;
        case 0x178:
            return 0xFF;
        case 0x17F:  // long s
            return 0x73;
        case 0x386:
            return 0x3AC;
        case 0x38C:
            return 0x3CC;
        case 0x3C2:  // final sigma
            return 0x3C3;
        case 0x4C0:
            return 0x4CF;
        case 0x1E9E:  // capital sharp s
            return 0xDF;
        default:
            return c;
    }
}

void appendEscaped(uint8_t byte, std::string& out) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    out += escape;
}

}  // namespace

std::string foldedCase(const std::string& text, bool utf8) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const CodePoint point = utf8 ? decodeAt(text, at) : CodePoint{};
        if (point.length == 0) {
            const char c = text[at++];
            folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            continue;
        }
        appendUtf8(foldCodePoint(point.value), folded);
        at += point.length;
    }
    return folded;
}

std::string terminalText(const std::string& text, bool utf8) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const uint8_t byte = static_cast<uint8_t>(text[at]);
        const CodePoint point = utf8 ? decodeAt(text, at) : CodePoint{byte, 1};
        // Windows' code pages show 0x80 to 0x9F as letters; in UTF-8 they are C1 controls.
        const bool control =
            point.value < 0x20 || point.value == 0x7F || (utf8 && within(point.value, 0x80, 0x9F));
        if (point.length == 0 || control) {
            // A C1 control in UTF-8 is escaped a byte at a time like the rest.
            const size_t length = point.length == 0 ? 1 : point.length;
            for (size_t i = 0; i < length; ++i) {
                appendEscaped(static_cast<uint8_t>(text[at + i]), shown);
            }
            at += length;
            continue;
        }
        shown.append(text, at, point.length);
        at += point.length;
    }
    return shown;
}
