// Checking the SysEx message typed as hexadecimal byte tokens: F0 first, F7 last, nothing
// above 7F between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most bytes a message can have: one per byte token the options take.
constexpr int32_t kMaxMessageBytes = 1000;

struct ByteTokenCheck {
    bool valid = false;
    std::vector<uint8_t> bytes;  // the message, one byte per token, when valid
    std::string invalidToken;    // the first token refused, unchanged, when not valid
};

// Reads every token as one byte of the message, stopping at the first invalid one.
ByteTokenCheck checkByteTokens(const std::vector<std::string>& tokens);
