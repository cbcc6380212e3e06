#include "driver/hex_text.h"

#include <cstdio>

#include "options/char_class.h"

bool parseHexValue(const char*& cursor, uint32_t& value) {
    // Accumulated in 64 bits and clamped after each digit, so it can never overflow.
    const uint64_t ceiling = 0xFFFFFFFFu;
    uint64_t number = 0;
    bool readDigit = false;
    // isAsciiHexDigit rejects every byte of 0x80 and above, whatever the signedness of char.
    while (*cursor != '\0' && isAsciiHexDigit(*cursor)) {
        const char c = asciiUpper(*cursor);
        const unsigned digit =
            isAsciiDigit(c) ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(c - 'A' + 10);
        number = number * 16 + digit;
        if (number > ceiling) {
            number = ceiling;
        }
        readDigit = true;
        ++cursor;
    }
    value = static_cast<uint32_t>(number);
    return readDigit;
}

std::string hexByteText(unsigned char value) {
    // Digits by table: a listing of a whole bulk dump formats hundreds of thousands of bytes.
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}
