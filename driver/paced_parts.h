// -pace=BYTES/MS: a message goes out in parts of at most BYTES bytes with a pause of MS
// milliseconds after each part but the last, for instruments whose input cannot keep up
// with a whole message at full speed. The instrument receives one unchanged message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest part: the most a long message buffer carries on Windows.
constexpr uint32_t kMaxPaceBytes = 65535;
// The longest pause after a part.
constexpr uint32_t kMaxPaceMs = 10000;

struct Pace {
    uint32_t partBytes = 0;  // 0: messages go out whole
    uint32_t pauseMs = 0;    // after each part but the last
};

// Reads the option's value "BYTES/MS": whole decimal numbers, BYTES 1 to kMaxPaceBytes, MS 0
// to kMaxPaceMs, white space allowed around the value. On failure errorText is the error line
// without "error: ", worded like the option parser's.
bool parsePaceValue(const std::string& value, Pace& pace, std::string& errorText);

// A span of a message: its bytes from offset on.
struct MessagePart {
    size_t offset;
    size_t length;
};

// The parts a message of messageLength bytes goes out in, in order: all of partBytes bytes
// but the last. Whole (one part) when pace.partBytes is 0; none for an empty message.
std::vector<MessagePart> pacedParts(size_t messageLength, const Pace& pace);
