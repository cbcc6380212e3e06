#include "options/value_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NumberRead {
    bool ok;
    int32_t value;
    size_t consumed;  // bytes the cursor moved
};

NumberRead readNumber(const std::string& text) {
    const char* cursor = text.c_str();
    int32_t value = -1;
    const bool ok = parseNumber(cursor, value);
    return {ok, value, static_cast<size_t>(cursor - text.c_str())};
}

struct BoolRead {
    bool ok;
    bool value;
    size_t consumed;
};

BoolRead readBool(const std::string& text) {
    const char* cursor = text.c_str();
    bool value = true;
    const bool ok = parseBool(cursor, value);
    return {ok, value, static_cast<size_t>(cursor - text.c_str())};
}

}  // namespace

TEST(SkipWhitespace, StopsAtNonSpaceAndHighBytes) {
    const char text[] = " \t\n\v\f\rx";
    EXPECT_EQ(skipWhitespace(text), text + 6);
    const char high[] = " \xA0 x";  // a non-breaking space in Latin-1 is not white space
    EXPECT_EQ(skipWhitespace(high), high + 1);
    const char empty[] = "";
    EXPECT_EQ(skipWhitespace(empty), empty);
    EXPECT_EQ(skipWhitespace(nullptr), nullptr);
}

TEST(ParseNumber, ReadsDigitsAndExponents) {
    EXPECT_EQ(readNumber("42").value, 42);
    const NumberRead padded = readNumber("  42  ");
    EXPECT_TRUE(padded.ok);
    EXPECT_EQ(padded.value, 42);
    EXPECT_EQ(padded.consumed, 4u);  // on the trailing blanks
    EXPECT_EQ(readNumber("12e1").value, 120);
    EXPECT_EQ(readNumber("12E+1").value, 120);
    EXPECT_EQ(readNumber("15e-1").value, 1);
    EXPECT_TRUE(readNumber("5e-1").ok);
    EXPECT_EQ(readNumber("5e-1").value, 0);
    EXPECT_EQ(readNumber("0007").value, 7);
}

TEST(ParseNumber, StopsBeforeWhatIsNotPartOfTheNumber) {
    const NumberRead fraction = readNumber("1.5");
    EXPECT_TRUE(fraction.ok);
    EXPECT_EQ(fraction.value, 1);
    EXPECT_EQ(fraction.consumed, 1u);
    const NumberRead bareE = readNumber("7e");
    EXPECT_TRUE(bareE.ok);
    EXPECT_EQ(bareE.value, 7);
    EXPECT_EQ(bareE.consumed, 1u);
    EXPECT_EQ(readNumber("7e+").consumed, 1u);
}

TEST(ParseNumber, RefusesSignsEmptyTextAndOverflow) {
    EXPECT_FALSE(readNumber("-3").ok);
    EXPECT_FALSE(readNumber("+3").ok);
    EXPECT_FALSE(readNumber("e5").ok);
    EXPECT_FALSE(readNumber("abc").ok);
    for (const char* blank : {"", "   "}) {
        const NumberRead r = readNumber(blank);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.consumed, 0u) << "cursor restored for '" << blank << "'";
    }
    EXPECT_EQ(readNumber("2147483647").value, 2147483647);
    const NumberRead tooLarge = readNumber(" 2147483648");
    EXPECT_FALSE(tooLarge.ok);
    EXPECT_EQ(tooLarge.consumed, 0u);
    EXPECT_FALSE(readNumber("3e9").ok);
    EXPECT_FALSE(readNumber("99999999999999999999").ok);
    EXPECT_EQ(readNumber("2147483647e0").value, 2147483647);
    EXPECT_FALSE(readNumber("214748365e1").ok);
    EXPECT_EQ(readNumber("214748364e1").value, 2147483640);
    const char* nullCursor = nullptr;
    int32_t value = 5;
    EXPECT_FALSE(parseNumber(nullCursor, value));
}

TEST(ParseNumber, HugeExponentsAreDecidedWithoutScalingStepByStep) {
    // These would take seconds if each power of ten were applied in turn.
    EXPECT_FALSE(readNumber("1e999999999").ok);
    const NumberRead zero = readNumber("0e999999999999999999");
    EXPECT_TRUE(zero.ok);
    EXPECT_EQ(zero.value, 0);
    const NumberRead tiny = readNumber("2147483647e-999999999");
    EXPECT_TRUE(tiny.ok);
    EXPECT_EQ(tiny.value, 0);
    EXPECT_EQ(readNumber("2147483647e-9").value, 2);
    EXPECT_EQ(readNumber("2147483647e-10").value, 0);
    EXPECT_EQ(readNumber("2e9").value, 2000000000);
    // The exponent's digits wrap in 64 bits: 2^64 reads as exponent 0.
    EXPECT_EQ(readNumber("5e18446744073709551616").value, 5);
}

TEST(ParseExponent, ReadsSignAndDigits) {
    const char* text = "e-12x";
    const char* cursor = text;
    int64_t exponent = 0;
    EXPECT_TRUE(parseExponent(cursor, exponent));
    EXPECT_EQ(exponent, -12);
    EXPECT_EQ(cursor, text + 4);
    for (const char* refused : {"e", "e+", "x1", "", "E-x"}) {
        const char* c = refused;
        EXPECT_FALSE(parseExponent(c, exponent)) << refused;
        EXPECT_EQ(c, refused) << refused;
    }
}

TEST(ParseBool, ReadsWordsInAnyCaseAndNumbers) {
    for (const char* yes : {"yes", "Yes", "ja", "TRUE", "1", "2", "1e1"}) {
        const BoolRead r = readBool(yes);
        EXPECT_TRUE(r.ok) << yes;
        EXPECT_TRUE(r.value) << yes;
    }
    for (const char* no : {"no", "Nein", "false", "0", "00", "5e-1"}) {
        const BoolRead r = readBool(no);
        EXPECT_TRUE(r.ok) << no;
        EXPECT_FALSE(r.value) << no;
    }
}

TEST(ParseBool, CursorPositions) {
    const BoolRead padded = readBool(" no ");
    EXPECT_TRUE(padded.ok);
    EXPECT_FALSE(padded.value);
    EXPECT_EQ(padded.consumed, 3u);
    const BoolRead please = readBool("yes please");
    EXPECT_TRUE(please.ok);
    EXPECT_EQ(please.consumed, 3u);
    for (const char* refused : {"maybe", "-1", "yess", "\xC3\xA4"}) {
        const BoolRead r = readBool(refused);
        EXPECT_FALSE(r.ok) << refused;
        EXPECT_FALSE(r.value) << "a refused token reads as false: " << refused;
        EXPECT_EQ(r.consumed, 0u) << refused;
    }
    for (const char* blank : {"", "  "}) {
        const BoolRead r = readBool(blank);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.value) << "a blank text reads as false too";
        EXPECT_EQ(r.consumed, 0u);
    }
}

TEST(EqualsNoCase, FoldsAsciiOnly) {
    EXPECT_TRUE(equalsNoCase("NO", "no"));
    EXPECT_TRUE(equalsNoCase("NO", "nO"));
    EXPECT_FALSE(equalsNoCase("NO", "non"));
    EXPECT_FALSE(equalsNoCase("NO", "n"));
    EXPECT_TRUE(equalsNoCase("\xC4", "\xC4"));   // equal bytes match, high or not
    EXPECT_FALSE(equalsNoCase("\xC4", "\xE4"));  // but high bytes never change case
    EXPECT_TRUE(equalsNoCase(nullptr, nullptr));
    EXPECT_FALSE(equalsNoCase("x", nullptr));
    EXPECT_FALSE(equalsNoCase(nullptr, "x"));
    EXPECT_TRUE(equalsNoCase("", ""));
}
