#include "driver/roland_checksum.h"

#include <algorithm>

#include "driver/bounded_decimal.h"
#include "driver/hex_text.h"
#include "driver/received_messages.h"
#include "options/char_class.h"
#include "options/parser_messages.h"
#include "options/value_conversion.h"

namespace {

constexpr uint8_t kReadRequest = 0x11;  // RQ1
constexpr uint8_t kDataSet = 0x12;      // DT1
constexpr uint8_t kRoland = 0x41;
constexpr size_t kFirstCommandIndex = 4;  // the fifth byte

bool isChecksumToken(const std::string& token) {
    return token.size() >= 2 && asciiUpper(token[0]) == 'C' && asciiUpper(token[1]) == 'S' &&
           skipWhitespace(token.c_str() + 2) == token.c_str() + token.size();
}

// The index of the first summed byte for a checksum at checksumIndex of message: K - 1, or
// the index after the first command ID from the fifth byte on. 0 when the rule finds no
// command ID before the checksum.
size_t firstSummedIndex(const uint8_t* message, size_t checksumIndex, const ChecksumRule& rule) {
    if (rule.firstSummed != 0) {
        return rule.firstSummed - 1;
    }
    for (size_t i = kFirstCommandIndex; i < checksumIndex; ++i) {
        if (message[i] == kReadRequest || message[i] == kDataSet) {
            return i + 1;
        }
    }
    return 0;
}

// Distinct byte tokens that no token of the message spells: runs of zeros of lengths no
// token has. They stand in for the CS tokens during the plain check, so a refused stand-in
// points back at its CS. The shortest free lengths are taken, so a long token of zeros costs
// nothing.
std::vector<std::string> standIns(const std::vector<std::string>& tokens, size_t count) {
    // Of the lengths 2 to tokens.size() + count + 2, the tokens take at most tokens.size().
    std::vector<bool> taken(tokens.size() + count + 3, false);
    for (const std::string& token : tokens) {
        if (token.size() < taken.size() &&
            std::all_of(token.begin(), token.end(), [](char c) { return c == '0'; })) {
            taken[token.size()] = true;
        }
    }
    std::vector<std::string> texts;
    for (size_t length = 2; texts.size() < count; ++length) {
        if (!taken[length]) {
            texts.push_back(std::string(length, '0'));
        }
    }
    return texts;
}

ChecksumTokenCheck refuse(const std::string& token, const std::string& reason) {
    ChecksumTokenCheck result;
    result.message.invalidToken = token;
    result.reason = reason;
    return result;
}

}  // namespace

bool parseChecksumValue(const std::string& value, ChecksumRule& rule, std::string& errorText) {
    const char* cursor = skipWhitespace(value.c_str());
    bool fits = true;
    for (const char* letter = "ROLAND"; *letter != '\0' && fits; ++letter) {
        fits = asciiUpper(*cursor) == *letter;
        cursor += fits ? 1 : 0;
    }
    ChecksumRule read;
    read.roland = true;
    if (fits && *cursor == ':') {
        ++cursor;
        fits = readBoundedDecimal(cursor, 2, kMaxChecksumStart, read.firstSummed);
    }
    if (!fits || skipWhitespace(cursor) != value.c_str() + value.size()) {
        const std::string needs = "option needs a value roland or roland:K (K 2 to " +
                                  std::to_string(kMaxChecksumStart) + ")";
        errorText = parserErrorText(needs.c_str(), kOptionSeparator, "checksum");
        return false;
    }
    rule = read;
    return true;
}

uint8_t rolandChecksum(const uint8_t* summed, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = (sum + summed[i]) & 0x7F;
    }
    return static_cast<uint8_t>((128 - sum) & 0x7F);
}

ChecksumTokenCheck checkTokensWithChecksum(const std::vector<std::string>& tokens,
                                           const ChecksumRule& rule) {
    std::vector<size_t> checksumAt;
    for (size_t i = 0; rule.roland && i < tokens.size(); ++i) {
        if (isChecksumToken(tokens[i])) {
            checksumAt.push_back(i);
        }
    }
    ChecksumTokenCheck result;
    if (checksumAt.empty()) {
        result.message = checkByteTokens(tokens);
        return result;
    }
    std::vector<std::string> plain = tokens;
    const std::vector<std::string> texts = standIns(tokens, checksumAt.size());
    for (size_t j = 0; j < checksumAt.size(); ++j) {
        plain[checksumAt[j]] = texts[j];
    }
    result.message = checkByteTokens(plain);
    if (!result.message.valid) {
        const auto standIn = std::find(texts.begin(), texts.end(), result.message.invalidToken);
        if (standIn != texts.end()) {
            result.message.invalidToken = tokens[checksumAt[standIn - texts.begin()]];
        }
        return result;
    }
    // The plain check put F0 first and F7 last, so the checksum is at least the second byte.
    const size_t at = checksumAt.front();
    const std::vector<uint8_t>& bytes = result.message.bytes;
    if (at + 2 != bytes.size()) {
        return refuse(tokens[at], "the checksum must be the last byte before F7");
    }
    const size_t first = firstSummedIndex(bytes.data(), at, rule);
    if (rule.firstSummed != 0 && first >= at) {
        return refuse(tokens[at], "-checksum=roland:" + std::to_string(rule.firstSummed) +
                                      " starts the sum at or after CS (position " +
                                      std::to_string(at + 1) + ")");
    }
    if (first == 0) {
        return refuse(tokens[at],
                      "no command ID 11 (RQ1) or 12 (DT1) from the fifth byte on before it; "
                      "-checksum=roland:K names the position K of the first summed byte");
    }
    if (first == at) {
        return refuse(tokens[at], "no byte to sum between the command ID and it");
    }
    result.message.bytes[at] = rolandChecksum(bytes.data() + first, at - first);
    return result;
}

std::vector<ChecksumMismatch> findChecksumMismatches(const std::vector<uint8_t>& received,
                                                     const ChecksumRule& rule) {
    std::vector<ChecksumMismatch> mismatches;
    const std::vector<MessageSpan> messages = completeMessages(received);
    for (size_t m = 0; m < messages.size(); ++m) {
        const uint8_t* message = received.data() + messages[m].offset;
        const size_t length = messages[m].length;
        if (length < 4 || message[1] != kRoland) {
            continue;
        }
        const size_t at = length - 2;
        const size_t first = firstSummedIndex(message, at, rule);
        // first is at least 1: K is at least 2, and a command ID follows the fifth byte.
        if (first == 0 || first >= at || message[first - 1] != kDataSet) {
            continue;
        }
        const uint8_t computed = rolandChecksum(message + first, at - first);
        if (computed != message[at]) {
            mismatches.push_back(
                ChecksumMismatch{m + 1, messages[m].offset, length, first, message[at], computed});
        }
    }
    return mismatches;
}

std::string checksumMismatchText(const std::vector<uint8_t>& received,
                                 const ChecksumMismatch& mismatch) {
    // The message up to its address (four bytes after the command ID at most) names it.
    const size_t shown = std::min(mismatch.length, mismatch.firstSummed + 4);
    std::string head;
    for (size_t i = 0; i < shown; ++i) {
        head += (i > 0 ? " " : "") + hexByteText(received[mismatch.offset + i]);
    }
    if (shown < mismatch.length) {
        head += " ...";
    }
    return "wrong Roland checksum in received message " + std::to_string(mismatch.messageNumber) +
           " at byte offset " + std::to_string(mismatch.offset) + " (" + head + "): it carries " +
           hexByteText(mismatch.carried) + ", its bytes give " + hexByteText(mismatch.computed);
}
