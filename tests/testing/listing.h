// The answer listing as the tool prints it: one line per received buffer of 1024 bytes, each
// byte as two upper-case hexadecimal digits and a blank.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::string listing(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        text += hex;
        if ((i + 1) % 1024 == 0 || i + 1 == bytes.size()) {
            text += "\n";
        }
    }
    return text;
}
