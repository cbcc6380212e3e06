// The check of the SysEx byte tokens on any token vector. The first byte is the separator at
// which the rest is cut into tokens, so tokens may hold NUL bytes, blanks or anything else.
// The result is compared with a plain reading of the rules: hexadecimal digits followed only
// by white space, F0 first, F7 last, at most 7F between, at most 1000 bytes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/byte_tokens.h"
#include "fuzz/fuzz_support.h"

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The token's value, saturated at 0xFFFFFFFF; false when it is no byte token at all.
bool tokenValue(const std::string& token, uint64_t& value) {
    size_t end = token.size();
    while (end > 0 && isBlank(token[end - 1])) {
        --end;
    }
    if (end == 0) {
        return false;
    }
    value = 0;
    for (size_t i = 0; i < end; ++i) {
        if (!isHexDigit(token[i])) {
            return false;
        }
        const char c = token[i];
        const unsigned digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = std::min<uint64_t>(value * 16 + digit, 0xFFFFFFFFu);
    }
    return true;
}

// The index of the first token the rules refuse; tokens.size() when all are accepted.
size_t firstRefused(const std::vector<std::string>& tokens) {
    for (size_t j = 0; j < tokens.size(); ++j) {
        uint64_t value = 0;
        if (!tokenValue(tokens[j], value) || j >= 1000) {
            return j;
        }
        const bool first = j == 0;
        const bool last = j + 1 == tokens.size();
        if ((first && value != 0xF0) || (last && value != 0xF7) ||
            (!first && !last && value > 0x7F)) {
            return j;
        }
    }
    return tokens.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::vector<std::string> tokens =
        size == 1 ? std::vector<std::string>() : splitBytes(data + 1, size - 1, data[0]);
    const ByteTokenCheck check = checkByteTokens(tokens);
    const size_t refused = firstRefused(tokens);

    if (check.valid) {
        FUZZ_CHECK(refused == tokens.size());
        FUZZ_CHECK(check.invalidToken.empty());
        FUZZ_CHECK(check.bytes.size() == tokens.size());
        if (tokens.empty()) {
            return 0;
        }
        FUZZ_CHECK(check.bytes.size() >= 2 && check.bytes.size() <= 1000);
        FUZZ_CHECK(check.bytes.front() == 0xF0);
        FUZZ_CHECK(check.bytes.back() == 0xF7);
        for (size_t j = 0; j < tokens.size(); ++j) {
            uint64_t value = 0;
            FUZZ_CHECK(tokenValue(tokens[j], value) && value == check.bytes[j]);
            if (j != 0 && j + 1 != tokens.size()) {
                FUZZ_CHECK(check.bytes[j] <= 0x7F);
            }
        }
    } else {
        FUZZ_CHECK(refused < tokens.size());
        FUZZ_CHECK(check.invalidToken == tokens[refused]);
    }
    return 0;
}
