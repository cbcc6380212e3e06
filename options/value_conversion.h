// Reading option values: white space, non-negative whole numbers with an optional exponent,
// boolean words, and case-insensitive comparison. A cursor is a pointer into a NUL-terminated
// text that a successful read moves past what it has read. Nothing here prints or throws.
#pragma once

#include <cstdint>

// The first byte of text that is the terminating NUL, a byte of 0x80 or above, or not white
// space; nullptr for nullptr.
const char* skipWhitespace(const char* text);

// An exponent part "e12", "E+3", "e-4" at the cursor. The digits wrap in 64 bits.
bool parseExponent(const char*& cursor, int64_t& result);

// A whole number "42", "12e1", "15e-1" after optional white space; no sign. Fails, with the
// cursor restored, for an empty or blank text or a value above 2147483647.
bool parseNumber(const char*& cursor, int32_t& result);

// A boolean word (0, 1, true/ja/yes, false/nein/no in any case) or a number (non-zero is
// true) after optional white space. On failure the cursor is restored and result is false.
bool parseBool(const char*& cursor, bool& result);

// What readDecimal found.
enum class DecimalRead { Number, NotANumber, TooLarge };

// The whole of text as a decimal number of digits only, white space around allowed: no sign,
// point or exponent. TooLarge above 2147483647.
DecimalRead readDecimal(const char* text, int32_t& result);

// Whether word and text are equal regardless of ASCII letter case.
bool equalsNoCase(const char* word, const char* text);
