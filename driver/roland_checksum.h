// -checksum=roland: Roland's checksum in typed messages (the token CS) and the check of the
// Roland data messages (DT1) received. The checksum is the low 7 bits of 128 minus the sum of
// the summed bytes mod 128; the summed bytes run from the byte after the command ID to the
// byte before the checksum, the command ID being the first 11 (RQ1) or 12 (DT1) from the
// fifth byte on. Where a model ID holds 11 or 12, -checksum=roland:K names the position K
// (F0 is 1) of the first summed byte instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/byte_tokens.h"

// The largest K: in the longest typed message the checksum and F7 follow it.
constexpr uint32_t kMaxChecksumStart = static_cast<uint32_t>(kMaxMessageBytes) - 2;

struct ChecksumRule {
    bool roland = false;       // -checksum given
    uint32_t firstSummed = 0;  // K; 0: the byte after the command ID
};

// Reads the option's value "roland" or "roland:K" (K 2 to kMaxChecksumStart; any letter case,
// white space allowed around the value). On failure errorText is the error line without
// "error: ", worded like the option parser's.
bool parseChecksumValue(const std::string& value, ChecksumRule& rule, std::string& errorText);

// Roland's checksum of count summed bytes.
uint8_t rolandChecksum(const uint8_t* summed, size_t count);

struct ChecksumTokenCheck {
    ByteTokenCheck message;  // as checkByteTokens gives it, with CS replaced by the checksum
    std::string reason;      // when the CS token is refused for want of a checksum: why
};

// Without rule.roland the same as checkByteTokens, so CS is an invalid byte. With it, the
// token CS (any letter case, white space after it allowed like after a byte) is the checksum.
// It must be the last byte before F7, as in every Roland message: bytes after it would stay
// outside the sum and the instrument would refuse the message.
ChecksumTokenCheck checkTokensWithChecksum(const std::vector<std::string>& tokens,
                                           const ChecksumRule& rule);

// A received DT1 whose checksum does not fit its bytes.
struct ChecksumMismatch {
    size_t messageNumber;  // counting from 1 among the complete messages received
    size_t offset;         // of its F0 in the received bytes (and in a file saved of them)
    size_t length;
    size_t firstSummed;  // index within the message
    uint8_t carried;
    uint8_t computed;
};

// Checks every complete received message that is a Roland DT1: F0 41, then the command ID 12
// (found by the rule, or just before position K), at least one summed byte, the checksum and
// F7.
std::vector<ChecksumMismatch> findChecksumMismatches(const std::vector<uint8_t>& received,
                                                     const ChecksumRule& rule);

// The line (without "warning: " or "error: ") naming the message and both checksums.
std::string checksumMismatchText(const std::vector<uint8_t>& received,
                                 const ChecksumMismatch& mismatch);
