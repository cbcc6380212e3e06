#include "driver/byte_tokens.h"

#include "driver/hex_text.h"
#include "options/value_conversion.h"

namespace {

// Whether token is hexadecimal digits followed by nothing but white space, and its value.
bool readByteToken(const std::string& token, uint32_t& value) {
    if (token.empty()) {
        return false;
    }
    const char* cursor = token.c_str();
    if (!parseHexValue(cursor, value)) {
        return false;
    }
    // A token holding a NUL byte cannot come from a command line or a settings file; should
    // one arrive, the text after it is not white space either.
    return skipWhitespace(cursor) == token.c_str() + token.size();
}

bool fitsPosition(uint32_t value, size_t index, size_t count) {
    const bool first = index == 0;
    const bool last = index + 1 == count;
    if (first && value != 0xF0) {
        return false;
    }
    if (last && value != 0xF7) {
        return false;
    }
    return first || last || value <= 0x7F;
}

}  // namespace

ByteTokenCheck checkByteTokens(const std::vector<std::string>& tokens) {
    ByteTokenCheck check;
    for (size_t j = 0; j < tokens.size(); ++j) {
        uint32_t value = 0;
        if (!readByteToken(tokens[j], value) || !fitsPosition(value, j, tokens.size()) ||
            check.bytes.size() >= static_cast<size_t>(kMaxMessageBytes)) {
            check.invalidToken = tokens[j];
            check.bytes.clear();
            return check;
        }
        check.bytes.push_back(static_cast<uint8_t>(value));
    }
    check.valid = true;
    return check;
}
