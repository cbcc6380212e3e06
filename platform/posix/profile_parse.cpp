// Parsing INI text. The rules follow what Windows' reader does with the same bytes: names
// ignore ASCII letter case and the blanks (spaces and tabs) around them; a value loses the
// blanks around it, and then one pair of matching quotes that encloses it wholly; only a ';'
// that starts a line makes a comment; a header's name runs from its '[' to the last ']' on
// its line; the first of duplicated sections and keys counts. Lines end at CRLF, LF or a
// lone CR, and a UTF-8 byte order mark at the start is skipped.
#include "platform/posix/profile_parse.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix/last_error.h"

namespace {

// Texts of this size and larger do not fit positions of 40 bits.
constexpr uint64_t kTooLargeText = (uint64_t{1} << 40) - 2;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A piece of the text, or a name given by the caller: [begin, end).
struct Span {
    const char* begin;
    const char* end;
    size_t size() const { return static_cast<size_t>(end - begin); }
};

Span trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return {begin, end};
}

bool sameName(Span a, Span b) {
    return a.size() == b.size() &&
           std::equal(a.begin, a.end, b.begin, [](char x, char y) { return lower(x) == lower(y); });
}

// 24 bits of the FNV-1a hash of the name in lower case.
uint64_t nameHash(Span name) {
    uint64_t hash = 14695981039346656037ull;
    for (const char* c = name.begin; c < name.end; ++c) {
        hash = (hash ^ static_cast<unsigned char>(lower(*c))) * 1099511628211ull;
    }
    return hash >> 40;
}

NameEntry entryOf(uint64_t position, uint64_t hash) {
    NameEntry entry;
    entry.position = position;
    entry.hash = hash;
    return entry;
}

// Entries in order of hash, then of position (a function object, so that sorting inlines it).
struct ByHashThenPosition {
    bool operator()(const NameEntry& a, const NameEntry& b) const {
        return a.hash != b.hash ? a.hash < b.hash : a.position < b.position;
    }
};

// The first of the (sorted) entries with this hash and a position in [from, to) for which
// matches(position) holds; null when there is none.
template <typename Matches>
const NameEntry* findEntry(const std::vector<NameEntry>& entries, uint64_t hash, uint64_t from,
                           uint64_t to, Matches matches) {
    const NameEntry* const end = entries.data() + entries.size();
    for (const NameEntry* entry =
             std::lower_bound(entries.data(), end, entryOf(from, hash), ByHashThenPosition());
         entry != end && entry->hash == hash && entry->position < to; ++entry) {
        if (matches(entry->position)) {
            return entry;
        }
    }
    return nullptr;
}

// Calls header(name) for each section header and key(line, name) for each key line (a line
// with a '=': its name is what comes before the first one), in the order of the file. line
// is where the key line starts after its leading blanks.
template <typename Header, typename Key>
void forEachLine(const std::string& text, Header header, Key key) {
    const char* pos = text.data();
    const char* const end = pos + text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos += 3;
    }
    while (pos < end) {
        const char* const lineEnd = std::find_if(pos, end, isLineEnd);
        const char* const begin = trimmed(pos, lineEnd).begin;
        if (begin < lineEnd && *begin != ';') {
            const char* close = lineEnd;  // a header's: just after the last ']'
            while (*begin == '[' && close > begin + 1 && close[-1] != ']') {
                --close;
            }
            const char* const equals = std::find(begin, lineEnd, '=');
            if (*begin == '[' && close > begin + 1) {
                header(trimmed(begin + 1, close - 1));
            } else if (equals != lineEnd) {
                key(begin, trimmed(begin, equals));
            }
        }
        pos = lineEnd;
        if (pos < end && *pos == '\r') {
            ++pos;
        }
        if (pos < end && *pos == '\n') {
            ++pos;
        }
    }
}

// Whether the key line at `line` has this key (trimmed): reads no further than the key's
// length and the blanks after it, so a long line costs nothing here.
bool lineHasKey(const char* line, const char* textEnd, Span key) {
    if (static_cast<size_t>(textEnd - line) < key.size()) {
        return false;
    }
    for (size_t i = 0; i < key.size(); ++i) {
        if (line[i] == '=' || isLineEnd(line[i]) || lower(line[i]) != lower(key.begin[i])) {
            return false;
        }
    }
    const char* after = line + key.size();
    while (after < textEnd && isBlank(*after)) {
        ++after;
    }
    return after < textEnd && *after == '=';
}

// Lines in the text, at most: each key line takes one entry.
size_t lineCount(const std::string& text) {
    size_t count = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++count;
        }
    }
    return count;
}

// Copies as much of text as fits with its terminator; the count of characters copied.
DWORD copyOut(const char* text, size_t length, LPSTR returned, DWORD size) {
    if (returned == nullptr || size == 0) {
        return 0;
    }
    if (length > size - 1) {
        length = size - 1;
    }
    memcpy(returned, text, length);
    returned[length] = '\0';
    return static_cast<DWORD>(length);
}

// Windows drops trailing blanks from the default before handing it back.
DWORD copyDefault(LPCSTR defaultValue, LPSTR returned, DWORD size) {
    if (defaultValue == nullptr) {
        defaultValue = "";
    }
    size_t length = strlen(defaultValue);
    while (length > 0 && defaultValue[length - 1] == ' ') {
        --length;
    }
    return copyOut(defaultValue, length, returned, size);
}

}  // namespace

ParsedProfile parseProfileText(std::string text) {
    ParsedProfile profile;
    if (text.size() >= kTooLargeText) {
        return profile;
    }
    profile.text = std::move(text);
    const char* const start = profile.text.data();
    auto offset = [start](const char* at) { return static_cast<uint64_t>(at - start); };
    // Room for a key on every line at once: growing the list would briefly hold two copies.
    profile.keys.reserve(lineCount(profile.text));
    forEachLine(
        profile.text,
        [&](Span name) {
            profile.sections.push_back(entryOf(profile.headers.size(), nameHash(name)));
            profile.headers.push_back({offset(name.begin), name.size()});
        },
        [&](const char* line, Span name) {
            profile.keys.push_back(entryOf(offset(line), nameHash(name)));
        });
    std::sort(profile.sections.begin(), profile.sections.end(), ByHashThenPosition());
    std::sort(profile.keys.begin(), profile.keys.end(), ByHashThenPosition());
    return profile;
}

bool findProfileValue(const ParsedProfile& profile, const char* sectionName, const char* keyName,
                      const char*& value, size_t& length) {
    const char* const text = profile.text.data();
    const char* const textEnd = text + profile.text.size();
    const Span section = trimmed(sectionName, sectionName + strlen(sectionName));
    const Span key = trimmed(keyName, keyName + strlen(keyName));

    // The first header of that name; its section runs to the next header.
    auto& last = profile.lastSection;
    if (!last.known ||
        last.name.compare(0, std::string::npos, section.begin, section.size()) != 0) {
        const NameEntry* header =
            findEntry(profile.sections, nameHash(section), 0, UINT64_MAX, [&](uint64_t number) {
                const ProfileHeader& candidate = profile.headers[number];
                const char* name = text + candidate.nameBegin;
                return sameName({name, name + candidate.nameLength}, section);
            });
        last.known = true;
        last.name.assign(section.begin, section.size());
        last.begin = last.end = 0;
        if (header != nullptr) {
            const uint64_t number = header->position;
            last.begin = profile.headers[number].nameBegin + 1;
            last.end = number + 1 < profile.headers.size() ? profile.headers[number + 1].nameBegin
                                                           : profile.text.size();
        }
    }
    const NameEntry* line =
        findEntry(profile.keys, nameHash(key), last.begin, last.end,
                  [&](uint64_t at) { return lineHasKey(text + at, textEnd, key); });
    if (line == nullptr) {
        return false;
    }
    const char* const equals = std::find(text + line->position, textEnd, '=');
    Span span = trimmed(equals + 1, std::find_if(equals + 1, textEnd, isLineEnd));
    // A value wholly in matching quotes loses them.
    if (span.size() >= 2 && (*span.begin == '"' || *span.begin == '\'') &&
        span.end[-1] == *span.begin) {
        ++span.begin;
        --span.end;
    }
    value = span.begin;
    length = span.size();
    return true;
}

DWORD profileStringFrom(const ParsedProfile* profile, LPCSTR section, LPCSTR key,
                        LPCSTR defaultValue, LPSTR returned, DWORD size) {
    if (section == nullptr || key == nullptr) {
        // Listing section or key names is not provided: an empty list.
        setLastError(ERROR_INVALID_PARAMETER);
        if (returned != nullptr && size > 0) {
            returned[0] = '\0';
            if (size > 1) {
                returned[1] = '\0';
            }
        }
        return 0;
    }
    if (profile == nullptr) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return copyDefault(defaultValue, returned, size);
    }
    setLastError(ERROR_SUCCESS);
    const char* value = nullptr;
    size_t length = 0;
    if (findProfileValue(*profile, section, key, value, length)) {
        return copyOut(value, length, returned, size);
    }
    return copyDefault(defaultValue, returned, size);
}
