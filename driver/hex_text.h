// Byte tokens as hexadecimal text: reading the digits of a token and writing a byte back as
// two upper-case digits.
#pragma once

#include <cstdint>
#include <string>

// Reads hexadecimal digits at the cursor and advances it to the first character that is not
// one (possibly the terminating zero). No sign, no prefix, no white space is skipped, and any
// number of digits is accepted. value receives the number the digits spell, saturated at
// 0xFFFFFFFF so that a long token never wraps around into the byte range; it is 0 when no
// digit was read. Returns whether at least one digit was read.
bool parseHexValue(const char*& cursor, uint32_t& value);

// The byte as upper-case hexadecimal with at least two digits: 0 gives "00", 0xF7 "F7".
std::string hexByteText(unsigned char value);
