// -identify: the universal identity request, and the readable line for each identity reply
// that came back: F0 7E dd 06 02 mm ff ff nn nn vv vv vv vv F7, where the manufacturer ID mm
// is one byte, or three bytes 00 xx yy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Asks every device on the cable (device ID 7F) who it is.
constexpr uint8_t kIdentityRequest[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

struct IdentityReply {
    uint8_t deviceId = 0;
    std::vector<uint8_t> manufacturer;  // one byte, or three starting with 00
    uint8_t family[2] = {};
    uint8_t member[2] = {};
    uint8_t version[4] = {};
};

// Every identity reply among the complete messages of the received bytes, in order. A reply
// with data bytes after the version (some instruments add them) counts; one that ends before
// its version does not.
std::vector<IdentityReply> findIdentityReplies(const std::vector<uint8_t>& received);

// "ID 00: non-commercial use (7D), family 01 00, member 01 00, version 01 00 00 00": each
// byte in upper-case hex as it came, the name from the manufacturers' list, or "unknown
// manufacturer" for an ID it lacks. A three-byte ID stands whole in the parentheses:
// "(00 20 29)".
std::string identityLine(const IdentityReply& reply);
