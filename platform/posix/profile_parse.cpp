// Parsing INI text. The rules follow what Windows' reader does with the same bytes: names
// ignore ASCII case, blanks around names and values go, a value wholly in quotes loses them,
// only a leading ';' makes a comment, and the first of duplicated keys and sections counts.
// Lines end at CRLF, LF or a lone CR.
#include "platform/posix/profile_parse.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/posix/last_error.h"
#include "platform/posix/profile_text.h"

namespace {

constexpr int kEntryBits = 40;
constexpr uint64_t kEntryMask = (uint64_t{1} << kEntryBits) - 1;

// A key line's entry: the hash's top bits above the line's offset.
uint64_t keyEntry(uint64_t hash, uint64_t offset) {
    return (hash >> kEntryBits << kEntryBits) | offset;
}

uint64_t tagOf(uint64_t hash) {
    return (hash & 0xFFFFFF) << kEntryBits;
}

size_t firstSlot(const ProfileSlots& table, uint64_t hash) {
    return static_cast<size_t>((static_cast<unsigned __int128>(hash) * table.slots.size()) >> 64);
}

// Visits the entries whose tag matches, in probe order, until `matches` says yes (the
// entry's value) or an empty slot ends the run (0).
template <typename Matches>
uint64_t probe(const ProfileSlots& table, uint64_t hash, size_t& slot, Matches matches) {
    const size_t count = table.slots.size();
    for (slot = firstSlot(table, hash);; slot = slot + 1 == count ? 0 : slot + 1) {
        const uint64_t entry = table.slots[slot];
        if (entry == 0) {
            return 0;
        }
        if ((entry & ~kEntryMask) == tagOf(hash) && matches((entry & kEntryMask) - 1)) {
            return entry;
        }
    }
}

void resize(ProfileSlots& table, size_t capacity) {
    table.slots.assign(capacity, 0);
    table.used = 0;
}

// The key of a key line that starts at `begin`: up to the first '=' on the line, trimmed;
// false when the line has no '='.
bool keyOfLine(const char* begin, const char* textEnd, Span& key, const char*& equals) {
    equals = begin;
    while (equals < textEnd && *equals != '=' && !isLineEnd(*equals)) {
        ++equals;
    }
    if (equals == textEnd || *equals != '=') {
        return false;
    }
    key = trimmed(begin, equals);
    return true;
}

// Whether the key line at `begin` has exactly this key (a trimmed name); reads no further than the
// key's length and the blanks after it, so a long line costs nothing here.
bool lineHasKey(const char* begin, const char* textEnd, const char* key, size_t length) {
    if (static_cast<size_t>(textEnd - begin) < length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (begin[i] == '=' || isLineEnd(begin[i]) || folded(begin[i]) != folded(key[i])) {
            return false;
        }
    }
    const char* after = begin + length;
    while (after < textEnd && isBlank(*after)) {
        ++after;
    }
    return after < textEnd && *after == '=';
}

struct Parser {
    ParsedProfile& profile;
    const char* text;
    const char* textEnd;
    int64_t current = -1;  // the section keys go to; none before the first header or under a
                           // repeated one

    uint64_t sectionHash(const char* name, size_t length) { return nameHash(0, name, length); }

    void growSections() {
        ProfileSlots& table = profile.sectionSlots;
        resize(table, table.slots.empty() ? 16 : table.slots.size() * 2);
        for (size_t i = 0; i < profile.sections.size(); ++i) {
            const ProfileSection& section = profile.sections[i];
            const uint64_t hash = sectionHash(text + section.nameBegin, section.nameLength);
            size_t slot = 0;
            probe(table, hash, slot, [](uint64_t) { return false; });
            table.slots[slot] = tagOf(hash) | (i + 1);
            ++table.used;
        }
    }

    void header(Span name) {
        ProfileSlots& table = profile.sectionSlots;
        if ((table.used + 1) * 2 > table.slots.size()) {
            growSections();
        }
        const uint64_t hash = sectionHash(name.begin, static_cast<size_t>(name.end - name.begin));
        size_t slot = 0;
        const uint64_t found = probe(table, hash, slot, [&](uint64_t number) {
            const ProfileSection& section = profile.sections[number];
            return sameName(name, text + section.nameBegin, section.nameLength);
        });
        if (found != 0) {
            current = -1;
            return;
        }
        current = static_cast<int64_t>(profile.sections.size());
        profile.sections.push_back({static_cast<uint64_t>(name.begin - text),
                                    static_cast<uint64_t>(name.end - name.begin)});
        table.slots[slot] = tagOf(hash) | profile.sections.size();
        ++table.used;
    }

    void keyLine(const char* begin) {
        Span key{};
        const char* equals = nullptr;
        if (current < 0 || !keyOfLine(begin, textEnd, key, equals)) {
            return;
        }
        const uint64_t hash = nameHash(static_cast<uint64_t>(current) + 1, key.begin,
                                       static_cast<size_t>(key.end - key.begin));
        profile.keys.push_back(keyEntry(hash, static_cast<uint64_t>(begin - text)));
    }

    void line(const char* begin, const char* end) {
        while (begin < end && isBlank(*begin)) {
            ++begin;
        }
        if (begin == end || *begin == ';') {
            return;
        }
        if (*begin == '[') {
            // The name runs to the last ']' on the line; a line without one is no header.
            const char* close = end;
            while (close > begin && close[-1] != ']') {
                --close;
            }
            if (close > begin + 1) {
                header(trimmed(begin + 1, close - 1));
                return;
            }
        }
        keyLine(begin);
    }
};

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

// Which section the key line at `offset` is under: the last one that starts before it.
bool lineInSection(const ParsedProfile& profile, uint64_t offset, size_t number) {
    const uint64_t start = profile.sections[number].nameBegin;
    const uint64_t end = number + 1 < profile.sections.size()
                             ? profile.sections[number + 1].nameBegin
                             : profile.text.size();
    return offset > start && offset < end;
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
    if (text.size() >= kEntryMask - 1) {
        return profile;
    }
    profile.text = std::move(text);
    profile.keys.reserve(lineCount(profile.text));

    const char* pos = profile.text.data();
    const char* end = pos + profile.text.size();
    if (profile.text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos += 3;
    }
    Parser parser{profile, profile.text.data(), end};
    while (pos < end) {
        const char* lineEnd = pos;
        while (lineEnd < end && !isLineEnd(*lineEnd)) {
            ++lineEnd;
        }
        parser.line(pos, lineEnd);
        pos = lineEnd;
        if (pos < end && *pos == '\r') {
            ++pos;
        }
        if (pos < end && *pos == '\n') {
            ++pos;
        }
    }
    // Lines of one hash then stay in the order of the file, as their offsets grow.
    sortEntries(profile.keys.data(), profile.keys.data() + profile.keys.size(), kEntryBits);
    return profile;
}

bool findProfileValue(const ParsedProfile& profile, const char* sectionName, const char* keyName,
                      const char*& value, size_t& length) {
    if (profile.sectionSlots.slots.empty()) {
        return false;
    }
    // Trimmed but not folded: hashing and comparing fold as they go, with nothing allocated.
    const Span sectionSpan = trimmed(sectionName, sectionName + strlen(sectionName));
    const Span keySpan = trimmed(keyName, keyName + strlen(keyName));
    const std::string_view section(sectionSpan.begin,
                                   static_cast<size_t>(sectionSpan.end - sectionSpan.begin));
    const std::string_view key(keySpan.begin, static_cast<size_t>(keySpan.end - keySpan.begin));
    const char* text = profile.text.data();
    const char* textEnd = text + profile.text.size();
    // A program reads its keys one section at a time: the last section found is kept.
    if (!profile.lastSection.known || section != profile.lastSection.name) {
        size_t slot = 0;
        const uint64_t entry = probe(
            profile.sectionSlots, nameHash(0, section.data(), section.size()), slot,
            [&](uint64_t number) {
                const ProfileSection& candidate = profile.sections[number];
                return sameName(
                    {text + candidate.nameBegin, text + candidate.nameBegin + candidate.nameLength},
                    section.data(), section.size());
            });
        profile.lastSection.known = true;
        profile.lastSection.name.assign(section.data(), section.size());
        profile.lastSection.number = entry == 0 ? -1 : static_cast<int64_t>(entry & kEntryMask) - 1;
    }
    if (profile.lastSection.number < 0) {
        return false;
    }
    const size_t number = static_cast<size_t>(profile.lastSection.number);
    const uint64_t first = keyEntry(nameHash(number + 1, key.data(), key.size()), 0);
    uint64_t offset = 0;
    bool found = false;
    for (auto entry = std::lower_bound(profile.keys.begin(), profile.keys.end(), first);
         !found && entry != profile.keys.end() && (*entry & ~kEntryMask) == first; ++entry) {
        offset = *entry & kEntryMask;
        found = lineInSection(profile, offset, number) &&
                lineHasKey(text + offset, textEnd, key.data(), key.size());
    }
    if (!found) {
        return false;
    }
    const char* equals = text + offset;
    while (*equals != '=') {
        ++equals;
    }
    const char* lineEnd = equals + 1;
    while (lineEnd < textEnd && !isLineEnd(*lineEnd)) {
        ++lineEnd;
    }
    Span span = trimmed(equals + 1, lineEnd);
    // A value wholly in matching quotes loses them.
    if (span.end - span.begin >= 2 && (*span.begin == '"' || *span.begin == '\'') &&
        span.end[-1] == *span.begin) {
        ++span.begin;
        --span.end;
    }
    value = span.begin;
    length = static_cast<size_t>(span.end - span.begin);
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
