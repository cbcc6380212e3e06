// Small byte-wise, case-sensitive text operations shared by the option parser, the settings
// code and the driver's messages.
#pragma once

#include <cstdint>
#include <string>

// The part of text from start on, count bytes long. A negative start counts as 0; a start at
// or past the end gives the empty text; a negative count, or one reaching past the end, gives
// the rest of the text.
std::string midText(const std::string& text, int start, int count = -1);

// The first n bytes of text (the whole text when n is negative or too large).
std::string leftText(const std::string& text, int n);

// Whether text begins with prefix; false when either is empty or text is shorter.
bool startsWith(const std::string& text, const std::string& prefix);

// text with every occurrence of pattern replaced; each search resumes after the previous
// occurrence, so occurrences never overlap. An empty pattern leaves text unchanged.
std::string replaceAll(const std::string& text, const std::string& pattern,
                       const std::string& replacement);

// The number with its thousands separated by commas, as limits are written for people:
// 65535 gives "65,535".
std::string groupedNumber(uint64_t value);
