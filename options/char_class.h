// Character classes for option values and byte tokens. They look at ASCII only: a byte of
// 0x80 or above is never white space, a digit or a letter, whatever the locale and whatever
// the signedness of char.
#pragma once

inline bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

inline bool isAsciiHexDigit(char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
