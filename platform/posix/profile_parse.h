// The text of an INI file and an index of its sections and keys, by the rules of Windows'
// reader. The index refers into the text rather than copying names and values out of it, so
// a parsed file takes little more memory than its bytes: a file of millions of short lines
// would otherwise cost far more in small strings and map nodes than in text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows_api.h"

// One section that counts (the first of its name): where its name lies in the text.
struct ProfileSection {
    uint64_t nameBegin = 0;
    uint64_t nameLength = 0;
};

// An open-addressing hash table of sections: each slot holds a section number plus one in
// its low 40 bits (0: empty) and a tag of the name's hash in the high 24, so most mismatches
// are told without touching the text.
struct ProfileSlots {
    std::vector<uint64_t> slots;
    size_t used = 0;
};

struct ParsedProfile {
    std::string text;
    std::vector<ProfileSection> sections;  // in the order of the file
    ProfileSlots sectionSlots;
    // One entry per key line under a section that counts: the top 24 bits of the hash of
    // its section and name, then its offset (after leading blanks) in the low 40 bits.
    // Sorted, so a key's lines are found by binary search, the first in the file first. A
    // sorted array takes 8 bytes a line where a hash table would need room to spare, and is
    // built by appending and one sort rather than by millions of random writes.
    std::vector<uint64_t> keys;
    // The section of the last lookup, as given, and its number (-1: none such). Lookups of
    // one profile are never concurrent (the reader's cache lock, or one thread).
    mutable struct {
        bool known = false;
        std::string name;
        int64_t number = -1;
    } lastSection;
};

// Parses text (taken over) into an index. Texts too large for the index (a terabyte) give an
// empty profile.
ParsedProfile parseProfileText(std::string text);

// The value of key in section, trimmed and unquoted; false when there is none. The names are
// compared as Windows compares them: without the blanks around them, ASCII case folded.
bool findProfileValue(const ParsedProfile& profile, const char* section, const char* key,
                      const char*& value, size_t& length);

// GetPrivateProfileStringA's answer for a key of an already parsed file (null: no file).
DWORD profileStringFrom(const ParsedProfile* profile, LPCSTR section, LPCSTR key,
                        LPCSTR defaultValue, LPSTR returned, DWORD size);
