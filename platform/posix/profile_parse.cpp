// Parsing INI text. The rules follow what Windows' reader does with the same bytes: names
// ignore ASCII case, blanks around names and values go, a value wholly in quotes loses them,
// only a leading ';' makes a comment, and the first of duplicated keys and sections counts.
#include "platform/posix/profile_parse.h"

#include <unordered_set>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return std::string(begin, end);
}

// Only ASCII letters fold; other bytes are compared as they are.
std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

struct ParseState {
    ProfileSections sections;
    std::unordered_set<std::string> seenSections;
    ProfileKeys* current = nullptr;  // none before the first header or under a repeated one
};

void parseLine(const char* begin, const char* end, ParseState& state) {
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
            std::string name = lowerAscii(trimmed(begin + 1, close - 1));
            state.current =
                state.seenSections.insert(name).second ? &state.sections[name] : nullptr;
            return;
        }
    }
    const char* equals = begin;
    while (equals < end && *equals != '=') {
        ++equals;
    }
    if (equals == end || state.current == nullptr) {
        return;
    }
    // emplace keeps the first of duplicated keys.
    state.current->emplace(lowerAscii(trimmed(begin, equals)), unquoted(trimmed(equals + 1, end)));
}

}  // namespace

ProfileSections parseProfileText(const std::string& text) {
    const char* pos = text.data();
    const char* end = pos + text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos += 3;
    }
    ParseState state;
    while (pos < end) {
        const char* lineEnd = pos;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') {
            ++lineEnd;
        }
        parseLine(pos, lineEnd, state);
        // CRLF, LF and a lone CR each end one line.
        pos = lineEnd;
        if (pos < end && *pos == '\r') {
            ++pos;
        }
        if (pos < end && *pos == '\n') {
            ++pos;
        }
    }
    return std::move(state.sections);
}

std::string profileName(const char* name) {
    const char* end = name;
    while (*end != '\0') {
        ++end;
    }
    return lowerAscii(trimmed(name, end));
}
