// Small pieces of INI text handling shared by the parse and the lookups: blanks, line ends,
// names folded and hashed a word at a time, and the sort of the index's entries.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// A span of the text: [begin, end).
struct Span {
    const char* begin;
    const char* end;
};

// The span without the blanks at either end.
Span trimmed(const char* begin, const char* end);

// c with ASCII letters in lower case.
char folded(char c);

// Up to eight bytes of a name from `at` (zeros past `length`), ASCII letters folded to lower
// case in one go. Names are hashed and compared a word at a time: a program makes a thousand
// lookups and more, and a fuzzer makes them under instrumentation that counts every loop.
uint64_t foldedWord(const char* at, size_t length);

// Whether a holds the name of `length` bytes at b, letter case aside.
bool sameName(Span a, const char* b, size_t length);

// The folded name's words multiplied in, seeded with `seed` and the length, and mixed so that
// both the high bits and the low bits vary with every byte.
uint64_t nameHash(uint64_t seed, const char* name, size_t length);

// Sorts the entries in place, comparing whole entries, with a radix sort on their top bytes
// down to bit `lowestBit`: it keeps to a few parts of the array at a time where one std::sort
// of millions of entries keeps missing the cache.
void sortEntries(uint64_t* begin, uint64_t* end, int lowestBit);
