// The value readers on any NUL-terminated text: white space, exponents, whole numbers,
// boolean words, case-insensitive comparison, hexadecimal digits, and the option table's
// typed read-back. The text is the input up to its first NUL; the second word for the
// comparison is what follows that NUL. Each reader's cursor must stay inside the text, and
// its result must match a plain reading of the rules.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "driver/hex_text.h"
#include "fuzz/fuzz_support.h"
#include "options/option_table.h"
#include "options/value_conversion.h"

namespace {

constexpr int64_t kLargest = std::numeric_limits<int32_t>::max();

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

void checkSkipWhitespace(const char* text, const char* end) {
    const char* after = skipWhitespace(text);
    FUZZ_CHECK(after >= text && after <= end);
    for (const char* p = text; p < after; ++p) {
        FUZZ_CHECK(isBlank(*p));
    }
    FUZZ_CHECK(!isBlank(*after));
    FUZZ_CHECK(skipWhitespace(nullptr) == nullptr);
}

void checkExponent(const char* text, const char* end) {
    const char* cursor = text;
    int64_t exponent = 0;
    const bool read = parseExponent(cursor, exponent);
    if (!read) {
        FUZZ_CHECK(cursor == text);
        return;
    }
    FUZZ_CHECK(cursor > text && cursor <= end);
    FUZZ_CHECK(*text == 'e' || *text == 'E');
    FUZZ_CHECK(isDigit(cursor[-1]) && !isDigit(*cursor));
    const char* digits = text + 1 + (text[1] == '+' || text[1] == '-');
    if (cursor - digits <= 18) {
        int64_t expected = 0;
        for (const char* p = digits; p < cursor; ++p) {
            expected = expected * 10 + (*p - '0');
        }
        FUZZ_CHECK(exponent == (text[1] == '-' ? -expected : expected));
    }
}

// Whole numbers: digits after optional blanks, then an optional exponent. The expected
// value is worked out only where the exponent has few enough digits not to wrap.
void checkNumber(const char* text, const char* end) {
    const char* cursor = text;
    int32_t number = -1;
    const bool read = parseNumber(cursor, number);
    FUZZ_CHECK(cursor >= text && cursor <= end);
    if (read) {
        FUZZ_CHECK(number >= 0 && number <= kLargest);
    }

    const char* p = text;
    while (isBlank(*p)) {
        ++p;
    }
    const char* digitsStart = p;
    int64_t mantissa = 0;
    while (isDigit(*p) && mantissa <= kLargest) {
        mantissa = mantissa * 10 + (*p++ - '0');
    }
    const bool hasDigits = p > digitsStart;
    if (mantissa > kLargest) {
        FUZZ_CHECK(!read && cursor == text);
        return;
    }
    const char* exponentEnd = p;
    int64_t exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1 + (p[1] == '+' || p[1] == '-');
        const char* expDigits = q;
        while (isDigit(*q)) {
            ++q;
        }
        if (q > expDigits) {
            if (q - expDigits > 18) {
                return;
            }
            for (const char* r = expDigits; r < q; ++r) {
                exponent = exponent * 10 + (*r - '0');
            }
            exponent = p[1] == '-' ? -exponent : exponent;
            exponentEnd = q;
        }
    }
    int64_t expected = mantissa;
    for (int64_t i = 0; i < exponent && expected != 0; ++i) {
        expected *= 10;
        if (expected > kLargest) {
            FUZZ_CHECK(!read && cursor == text);
            return;
        }
    }
    for (int64_t i = 0; i > exponent && expected != 0; --i) {
        expected /= 10;
    }
    FUZZ_CHECK(read == hasDigits);
    if (read) {
        FUZZ_CHECK(number == expected);
        FUZZ_CHECK(cursor == exponentEnd);
    }
}

void checkBool(const char* text, const char* end) {
    const char* cursor = text;
    bool result = true;
    const bool read = parseBool(cursor, result);
    if (!read) {
        FUZZ_CHECK(cursor == text && !result);
    } else {
        FUZZ_CHECK(cursor > text && cursor <= end);
    }
    // A text that is just one of the words reads as that word.
    std::string word(skipWhitespace(text));
    while (!word.empty() && isBlank(word.back())) {
        word.pop_back();
    }
    for (const char* yes : {"1", "true", "ja", "yes"}) {
        if (equalsNoCase(yes, word.c_str())) {
            FUZZ_CHECK(read && result);
        }
    }
    for (const char* no : {"0", "false", "nein", "no"}) {
        if (equalsNoCase(no, word.c_str())) {
            FUZZ_CHECK(read && !result);
        }
    }
}

void checkEqualsNoCase(const char* a, const char* b) {
    const size_t length = std::strlen(a);
    bool expected = length == std::strlen(b);
    for (size_t i = 0; expected && i < length; ++i) {
        const bool ascii = static_cast<unsigned char>(a[i]) < 0x80;
        expected = a[i] == b[i] || (ascii && upper(a[i]) == upper(b[i]));
    }
    FUZZ_CHECK(equalsNoCase(a, b) == expected);
    FUZZ_CHECK(equalsNoCase(b, a) == expected);
    FUZZ_CHECK(equalsNoCase(a, a));
    FUZZ_CHECK(!equalsNoCase(a, nullptr) && !equalsNoCase(nullptr, a));
}

void checkHexValue(const char* text, const char* end) {
    const char* cursor = text;
    uint32_t value = 12345;
    const bool read = parseHexValue(cursor, value);
    FUZZ_CHECK(cursor >= text && cursor <= end);
    FUZZ_CHECK(read == isHexDigit(*text));
    FUZZ_CHECK(!isHexDigit(*cursor));
    uint64_t expected = 0;
    for (const char* p = text; p < cursor; ++p) {
        FUZZ_CHECK(isHexDigit(*p));
        const unsigned digit = isDigit(*p) ? *p - '0' : upper(*p) - 'A' + 10;
        expected = std::min<uint64_t>(expected * 16 + digit, 0xFFFFFFFFu);
    }
    FUZZ_CHECK(value == expected);
}

// A value the table accepts for a typed option must read back as that type.
void checkTableReadBack(const std::string& value) {
    OptionTable table;
    OptionSpec number;
    number.assignName("n");
    number.type = OptionType::Number;
    table.addOption(number);
    OptionSpec flag;
    flag.assignName("b");
    flag.type = OptionType::Boolean;
    table.addOption(flag);
    OptionSpec decimalSpec;
    decimalSpec.assignName("d");
    decimalSpec.type = OptionType::Decimal;
    table.addOption(decimalSpec);

    std::string error;
    const bool numberStored = table.storeValue(table.specs[0], value, error);
    FUZZ_CHECK(numberStored == error.empty());
    FUZZ_CHECK(numberStored == (table.getInt("n", -1) != -1));
    FUZZ_CHECK(numberStored == table.specs[0].isSet);

    // A decimal is a number without exponent: stored exactly when it reads as a number alone.
    error.clear();
    int32_t readValue = 0;
    const DecimalRead read = readDecimal(value.c_str(), readValue);
    FUZZ_CHECK(table.storeValue(table.specs[2], value, error) == (read == DecimalRead::Number));
    FUZZ_CHECK(read != DecimalRead::Number || table.getInt("d", -1) == readValue);
    // Values are C strings (arguments, settings lines): what follows a NUL is not read.
    const std::string text = value.c_str();
    FUZZ_CHECK(read != DecimalRead::Number || text.find_first_of("eE") == std::string::npos);

    error.clear();
    const bool flagStored = table.storeValue(table.specs[1], value, error);
    FUZZ_CHECK(flagStored == error.empty());
    if (flagStored) {
        const char* cursor = value.c_str();
        bool expected = false;
        FUZZ_CHECK(parseBool(cursor, expected));
        FUZZ_CHECK(table.getBool("b") == expected);
    } else {
        FUZZ_CHECK(!table.getBool("b"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A heap copy of exactly the input and one terminator, so any read beyond it is caught.
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    std::memcpy(buffer.get(), data, size);
    buffer[size] = '\0';
    const char* text = buffer.get();
    const char* end = text + std::strlen(text);
    const char* second = end < buffer.get() + size ? end + 1 : end;

    checkSkipWhitespace(text, end);
    checkExponent(text, end);
    checkNumber(text, end);
    checkBool(text, end);
    checkEqualsNoCase(text, second);
    checkHexValue(text, end);
    checkTableReadBack(std::string(buffer.get(), size));
    return 0;
}
