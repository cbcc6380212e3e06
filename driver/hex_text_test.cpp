#include "driver/hex_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Parses text from its start; reports the value and how far the cursor moved.
struct Parsed {
    bool ok;
    uint32_t value;
    size_t consumed;
};

Parsed parse(const char* text) {
    const char* cursor = text;
    uint32_t value = 0xDEADBEEF;  // must be overwritten, also when nothing is read
    bool ok = parseHexValue(cursor, value);
    return Parsed{ok, value, static_cast<size_t>(cursor - text)};
}

TEST(ParseHexValue, ReadsByteTokensToTheEnd) {
    for (const char* token : {"F0", "f0", "00F0", "0000000000000000000000F0"}) {
        Parsed p = parse(token);
        EXPECT_TRUE(p.ok) << token;
        EXPECT_EQ(240u, p.value) << token;
        EXPECT_EQ(std::strlen(token), p.consumed) << token;
    }
    Parsed p = parse("0F7");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(247u, p.value);
    EXPECT_EQ(3u, p.consumed);
    EXPECT_EQ(0xABu, parse("aB").value);
    EXPECT_EQ(0x100u, parse("100").value);
}

TEST(ParseHexValue, EveryDigitHasItsValue) {
    const char* digits = "0123456789abcdefABCDEF";
    const unsigned expected[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < std::strlen(digits); ++i) {
        char token[] = {digits[i], '\0'};
        Parsed p = parse(token);
        EXPECT_TRUE(p.ok) << token;
        EXPECT_EQ(expected[i], p.value) << token;
        EXPECT_EQ(1u, p.consumed) << token;
    }
}

TEST(ParseHexValue, NoDigitLeavesCursorAndGivesZero) {
    // Neighbours of the digit ranges, white space, and bytes of 0x80 and above (which are
    // negative where char is signed).
    for (const char* text : {"", " F0", "\tF0", "G", "g", "/", ":", "@", "`", "-1", "+1", "\x80",
                             "\xF0", "\xFF", "\xC3\xA9"}) {
        Parsed p = parse(text);
        EXPECT_FALSE(p.ok) << "[" << text << "]";
        EXPECT_EQ(0u, p.value) << "[" << text << "]";
        EXPECT_EQ(0u, p.consumed) << "[" << text << "]";
    }
}

TEST(ParseHexValue, StopsAtFirstNonDigit) {
    Parsed blank = parse("7E ");
    EXPECT_TRUE(blank.ok);
    EXPECT_EQ(126u, blank.value);
    EXPECT_EQ(2u, blank.consumed);

    // A 0x prefix is not understood: the 0 is read and the x stops the scan.
    Parsed prefix = parse("0x10");
    EXPECT_TRUE(prefix.ok);
    EXPECT_EQ(0u, prefix.value);
    EXPECT_EQ(1u, prefix.consumed);

    Parsed high = parse("7\xE9");
    EXPECT_TRUE(high.ok);
    EXPECT_EQ(7u, high.value);
    EXPECT_EQ(1u, high.consumed);

    Parsed letter = parse("F7G");
    EXPECT_EQ(0xF7u, letter.value);
    EXPECT_EQ(2u, letter.consumed);
}

TEST(ParseHexValue, LongTokensStayAboveEveryByte) {
    Parsed full = parse("FFFFFFFF");
    EXPECT_TRUE(full.ok);
    EXPECT_EQ(0xFFFFFFFFu, full.value);

    // Nine digits: a 32-bit wrap would leave exactly F0.
    Parsed nine = parse("1000000F0");
    EXPECT_TRUE(nine.ok);
    EXPECT_EQ(0xFFFFFFFFu, nine.value);
    EXPECT_EQ(9u, nine.consumed);

    // Far longer than any integer: every digit is still consumed.
    std::string huge = "1" + std::string(200, '0') + "F7";
    Parsed longest = parse(huge.c_str());
    EXPECT_TRUE(longest.ok);
    EXPECT_EQ(0xFFFFFFFFu, longest.value);
    EXPECT_EQ(huge.size(), longest.consumed);

    // The largest value that still fits is kept exactly.
    EXPECT_EQ(0xFFFFFFFEu, parse("0FFFFFFFE").value);
}

TEST(HexByteText, TwoUpperCaseDigitsForEveryByte) {
    EXPECT_EQ("00", hexByteText(0));
    EXPECT_EQ("05", hexByteText(5));
    EXPECT_EQ("0A", hexByteText(10));
    EXPECT_EQ("7E", hexByteText(0x7E));
    EXPECT_EQ("F7", hexByteText(0xF7));
    EXPECT_EQ("FF", hexByteText(255));
    for (unsigned v = 0; v < 256; ++v) {
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", v);
        EXPECT_EQ(expected, hexByteText(static_cast<unsigned char>(v))) << v;
    }
}

}  // namespace
