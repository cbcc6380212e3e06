// Reading a whole decimal number inside an option value such as "128/15" or "roland:7".
#pragma once

#include <cstdint>

#include "options/char_class.h"

// Reads the decimal digits at the cursor and advances it past them. True when there was at
// least one digit and the number lies within low..high; no sign, no exponent, no white space.
// The number is never accumulated beyond high, so any count of digits is safe.
inline bool readBoundedDecimal(const char*& cursor, uint32_t low, uint32_t high, uint32_t& value) {
    const char* start = cursor;
    uint64_t number = 0;
    while (isAsciiDigit(*cursor)) {
        if (number <= high) {
            number = number * 10 + static_cast<uint64_t>(*cursor - '0');
        }
        ++cursor;
    }
    value = static_cast<uint32_t>(number);
    return cursor != start && number >= low && number <= high;
}
