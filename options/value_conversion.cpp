#include "options/value_conversion.h"

#include <cstring>
#include <limits>

#include "options/char_class.h"

namespace {

constexpr int32_t kLargestNumber = std::numeric_limits<int32_t>::max();

// 2147483647 < 10^10, so scaling a non-zero value by ten or more powers of ten always
// overflows, and dividing by them always leaves 0; the loops below never run more than ten
// times, whatever the exponent.
constexpr int64_t kDecimalDigitsOfLargest = 10;

bool scaleByPowerOfTen(int64_t exponent, int32_t& value) {
    if (value == 0 || exponent == 0) {
        return true;
    }
    if (exponent > 0) {
        if (exponent >= kDecimalDigitsOfLargest) {
            return false;
        }
        for (int64_t i = 0; i < exponent; ++i) {
            if (value > kLargestNumber / 10) {
                return false;
            }
            value *= 10;
        }
        return true;
    }
    if (exponent <= -kDecimalDigitsOfLargest) {
        value = 0;
        return true;
    }
    for (int64_t i = 0; i > exponent; --i) {
        value /= 10;
    }
    return true;
}

}  // namespace

const char* skipWhitespace(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    while (isAsciiSpace(*text)) {
        ++text;
    }
    return text;
}

namespace {

// Moves the cursor past leading white space to the start of a value; false, with the cursor
// where it was, when there is no text or nothing but white space.
bool skipToValue(const char*& cursor) {
    if (cursor == nullptr) {
        return false;
    }
    const char* const value = skipWhitespace(cursor);
    if (*value == '\0') {
        return false;
    }
    cursor = value;
    return true;
}

}  // namespace

bool parseExponent(const char*& cursor, int64_t& result) {
    if (cursor == nullptr || *cursor == '\0') {
        return false;
    }
    result = 0;
    if (*cursor != 'e' && *cursor != 'E') {
        return false;
    }
    const char* p = cursor + 1;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!isAsciiDigit(*p)) {
        return false;
    }
    // Unsigned arithmetic gives the two's-complement wrap-around without undefined behaviour.
    uint64_t magnitude = 0;
    while (isAsciiDigit(*p)) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
    }
    if (negative) {
        magnitude = 0 - magnitude;
    }
    result = static_cast<int64_t>(magnitude);
    cursor = p;
    return true;
}

bool parseNumber(const char*& cursor, int32_t& result) {
    result = 0;
    const char* const start = cursor;
    if (!skipToValue(cursor)) {
        return false;
    }
    bool digitRead = false;
    while (isAsciiDigit(*cursor)) {
        const int32_t digit = *cursor - '0';
        if (result > (kLargestNumber - digit) / 10) {
            cursor = start;
            return false;
        }
        result = result * 10 + digit;
        digitRead = true;
        ++cursor;
    }
    int64_t exponent = 0;
    if (!parseExponent(cursor, exponent)) {
        return digitRead;
    }
    if (!scaleByPowerOfTen(exponent, result)) {
        cursor = start;
        return false;
    }
    return digitRead;
}

bool parseBool(const char*& cursor, bool& result) {
    const char* const start = cursor;
    result = false;
    if (!skipToValue(cursor)) {
        return false;
    }
    constexpr int kLongestToken = 19;
    char token[kLongestToken + 1] = {};
    int length = 0;
    while (length < kLongestToken && cursor[length] != '\0' && !isAsciiSpace(cursor[length]) &&
           static_cast<unsigned char>(cursor[length]) < 0x80) {
        token[length] = cursor[length];
        ++length;
    }
    struct Word {
        const char* text;
        bool value;
        bool anyCase;
    };
    static const Word kWords[] = {
        {"0", false, false}, {"1", true, false},     {"TRUE", true, true},  {"JA", true, true},
        {"YES", true, true}, {"FALSE", false, true}, {"NEIN", false, true}, {"NO", false, true},
    };
    for (const Word& word : kWords) {
        const bool match =
            word.anyCase ? equalsNoCase(word.text, token) : std::strcmp(word.text, token) == 0;
        if (match) {
            result = word.value;
            cursor += length;
            return true;
        }
    }
    int32_t number = 0;
    if (parseNumber(cursor, number)) {
        result = number != 0;
        return true;
    }
    cursor = start;
    result = false;
    return false;
}

DecimalRead readDecimal(const char* text, int32_t& result) {
    result = 0;
    const char* cursor = skipWhitespace(text);
    if (cursor == nullptr || !isAsciiDigit(*cursor)) {
        return DecimalRead::NotANumber;
    }
    bool tooLarge = false;
    for (; isAsciiDigit(*cursor); ++cursor) {
        const int32_t digit = *cursor - '0';
        tooLarge = tooLarge || result > (kLargestNumber - digit) / 10;
        result = tooLarge ? 0 : result * 10 + digit;
    }
    if (*skipWhitespace(cursor) != '\0') {
        return DecimalRead::NotANumber;
    }
    return tooLarge ? DecimalRead::TooLarge : DecimalRead::Number;
}

bool equalsNoCase(const char* word, const char* text) {
    if (text == nullptr) {
        return word == nullptr;
    }
    if (word == nullptr) {
        return false;
    }
    for (; *word != '\0' && *text != '\0'; ++word, ++text) {
        if (*word == *text) {
            continue;
        }
        if (static_cast<unsigned char>(*word) >= 0x80 ||
            static_cast<unsigned char>(*text) >= 0x80 || asciiUpper(*word) != asciiUpper(*text)) {
            return false;
        }
    }
    return *word == '\0' && *text == '\0';
}
