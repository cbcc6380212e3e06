#include "options/text_helpers.h"

std::string midText(const std::string& text, int start, int count) {
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    if (from >= text.size()) {
        return std::string();
    }
    if (count < 0) {
        return text.substr(from);
    }
    return text.substr(from, static_cast<size_t>(count));
}

std::string leftText(const std::string& text, int n) {
    return midText(text, 0, n);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    if (text.empty() || prefix.empty() || text.size() < prefix.size()) {
        return false;
    }
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string replaceAll(const std::string& text, const std::string& pattern,
                       const std::string& replacement) {
    if (pattern.empty()) {
        return text;
    }
    std::string result;
    size_t from = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, from)) {
        result.append(text, from, at - from);
        result += replacement;
        from = at + pattern.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::string groupedNumber(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}
