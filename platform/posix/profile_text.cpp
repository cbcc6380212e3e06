#include "platform/posix/profile_text.h"

#include <algorithm>
#include <cstring>

namespace {

// ASCII letters in lower case, every other byte as it is. A table: every lookup folds the
// names it hashes and compares a byte at a time.
struct FoldTable {
    unsigned char lower[256];
    constexpr FoldTable() : lower() {
        for (int c = 0; c < 256; ++c) {
            lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
};
constexpr FoldTable kFold;

// Sorts entries[begin, end) whose bits above `shift + 8` are all alike: in place by the byte
// at `shift`, then each of the 256 parts on its own, down to `lowestShift`, below which (or
// in a small part) std::sort takes over.
void sortByByte(uint64_t* begin, uint64_t* end, int shift, int lowestShift) {
    if (end - begin <= 64 || shift < lowestShift) {
        std::sort(begin, end);
        return;
    }
    size_t next[257] = {};
    for (const uint64_t* entry = begin; entry < end; ++entry) {
        ++next[((*entry >> shift) & 0xFF) + 1];
    }
    for (int part = 0; part < 256; ++part) {
        next[part + 1] += next[part];
    }
    size_t partEnd[256];
    std::copy(next + 1, next + 257, partEnd);
    for (size_t part = 0; part < 256; ++part) {
        // Each entry not in its part is swapped into the next free place of the right one.
        while (next[part] < partEnd[part]) {
            uint64_t entry = begin[next[part]];
            for (size_t home = (entry >> shift) & 0xFF; home != part;
                 home = (entry >> shift) & 0xFF) {
                std::swap(entry, begin[next[home]++]);
            }
            begin[next[part]++] = entry;
        }
    }
    size_t partBegin = 0;
    for (size_t part = 0; part < 256; ++part) {
        sortByByte(begin + partBegin, begin + partEnd[part], shift - 8, lowestShift);
        partBegin = partEnd[part];
    }
}

}  // namespace

char folded(char c) {
    return static_cast<char>(kFold.lower[static_cast<unsigned char>(c)]);
}

Span trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return {begin, end};
}

uint64_t foldedWord(const char* at, size_t length) {
    uint64_t word = 0;
    if (length >= 8) {
        memcpy(&word, at, 8);  // one load
    } else {
        for (size_t i = 0; i < length; ++i) {
            word |= static_cast<uint64_t>(static_cast<unsigned char>(at[i])) << (8 * i);
        }
    }
    const uint64_t high = 0x8080808080808080ull;
    const uint64_t low7 = word & ~high;
    const uint64_t fromA = (low7 + 0x3F3F3F3F3F3F3F3Full) & high;  // at least 'A' (41)
    const uint64_t pastZ = (low7 + 0x2525252525252525ull) & high;  // at least '[' (5B)
    const uint64_t upper = fromA & ~pastZ & ~word;                 // and no byte above 7F
    return word | (upper >> 2);                                    // 80 >> 2 is the case bit
}

bool sameName(Span a, const char* b, size_t length) {
    if (static_cast<size_t>(a.end - a.begin) != length) {
        return false;
    }
    for (size_t i = 0; i < length; i += 8) {
        if (foldedWord(a.begin + i, length - i) != foldedWord(b + i, length - i)) {
            return false;
        }
    }
    return true;
}

uint64_t nameHash(uint64_t seed, const char* name, size_t length) {
    uint64_t hash = 0xcbf29ce484222325ull ^ (seed * 0x9E3779B97F4A7C15ull) ^ length;
    for (size_t i = 0; i < length; i += 8) {
        hash = (hash ^ foldedWord(name + i, length - i)) * 0x100000001b3ull;
        hash ^= hash >> 29;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    hash ^= hash >> 33;
    return hash;
}

void sortEntries(uint64_t* begin, uint64_t* end, int lowestBit) {
    sortByByte(begin, end, 56, lowestBit);
}
