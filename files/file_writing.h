// Writing a file that the user names, so that what was there is never harmed: the rules are
// those of platform/safe_file.h, whose functions also serve a write in pieces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/safe_file.h"

// Writes bytes as path's whole contents. On failure reason says why, and a file at path is as
// it was (unless reason says the failure came after it was replaced).
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& reason);
