#include "driver/paced_parts.h"

#include <algorithm>

#include "driver/bounded_decimal.h"
#include "options/parser_messages.h"
#include "options/value_conversion.h"

bool parsePaceValue(const std::string& value, Pace& pace, std::string& errorText) {
    const char* cursor = skipWhitespace(value.c_str());
    Pace read;
    bool fits = readBoundedDecimal(cursor, 1, kMaxPaceBytes, read.partBytes) && *cursor == '/';
    if (fits) {
        ++cursor;
        fits = readBoundedDecimal(cursor, 0, kMaxPaceMs, read.pauseMs) &&
               skipWhitespace(cursor) == value.c_str() + value.size();
    }
    if (!fits) {
        const std::string needs = "option needs a value BYTES/MS (BYTES 1 to " +
                                  std::to_string(kMaxPaceBytes) + ", MS 0 to " +
                                  std::to_string(kMaxPaceMs) + ")";
        errorText = parserErrorText(needs.c_str(), kOptionSeparator, "pace");
        return false;
    }
    pace = read;
    return true;
}

std::vector<MessagePart> pacedParts(size_t messageLength, const Pace& pace) {
    std::vector<MessagePart> parts;
    const size_t step = pace.partBytes == 0 ? messageLength : pace.partBytes;
    for (size_t offset = 0; offset < messageLength; offset += step) {
        parts.push_back(MessagePart{offset, std::min(step, messageLength - offset)});
    }
    return parts;
}
