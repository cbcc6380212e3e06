// The text of an INI file and an index of its headers and key lines, read by the rules of
// Windows' reader. The index holds positions in the text rather than copies of names and
// values, and 8 bytes a line: a parsed file of millions of short lines takes less than twice
// its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows_api.h"

// Where a section header's name lies in the text.
struct ProfileHeader {
    size_t nameBegin = 0;
    size_t nameLength = 0;
};

// A header or key line, found by 24 bits of its name's hash. Lists of them are sorted by hash
// and then position, so the lines of one name are found by binary search, in file order.
struct NameEntry {
    uint64_t position : 40;  // a header's number, or where a key line starts in the text
    uint64_t hash : 24;
};

struct ParsedProfile {
    std::string text;
    std::vector<ProfileHeader> headers;  // every header, in the order of the file
    std::vector<NameEntry> sections;     // the headers, by name
    std::vector<NameEntry> keys;         // key lines (where they start after blanks), by key
    // The section of the last lookup, as given, and where its key lines lie (none: empty):
    // programs read their keys one section at a time. Lookups of one profile never run at
    // once (the reader's lock, or one thread).
    mutable struct {
        bool known = false;
        std::string name;
        uint64_t begin = 0;
        uint64_t end = 0;
    } lastSection;
};

// Parses text (taken over). Texts too large for the positions (a terabyte) give an empty
// profile.
ParsedProfile parseProfileText(std::string text);

// The value of key in section, trimmed and unquoted; false when there is none.
bool findProfileValue(const ParsedProfile& profile, const char* section, const char* key,
                      const char*& value, size_t& length);

// GetPrivateProfileStringA's answer for a key of an already parsed file (null: no file).
DWORD profileStringFrom(const ParsedProfile* profile, LPCSTR section, LPCSTR key,
                        LPCSTR defaultValue, LPSTR returned, DWORD size);
