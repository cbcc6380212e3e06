// Reading a whole file that the user names into memory, with a bound: a regular file, or a
// FIFO or device (/dev/stdin) read as a stream up to its end. The contents are checked as they
// arrive, so a file that is wrong from its first byte is refused at once, and an endless
// stream (/dev/zero) is never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The most a file is read: 256 MiB.
constexpr size_t kFileReadLimit = size_t{256} << 20;

// Looks at the next count bytes, the first of them at offset in the file; false ends the read.
using ReadCheck = std::function<bool(const uint8_t* bytes, size_t count, size_t offset)>;

enum class ReadResult {
    Read,      // bytes holds the whole file
    Failed,    // it could not be opened or read; reason says why
    TooLarge,  // it holds more than the limit
    Refused,   // the check ended the read
};

// Reads path whole into bytes, giving each piece to check (when given) before keeping it.
ReadResult readFileWithBound(const std::string& path, size_t limit, const ReadCheck& check,
                             std::vector<uint8_t>& bytes, std::string& reason);
