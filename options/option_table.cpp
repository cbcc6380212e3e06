#include "options/option_table.h"

#include "options/parser_messages.h"
#include "options/text_helpers.h"
#include "options/value_conversion.h"

void OptionSpec::assignName(const std::string& text) {
    const size_t star = text.find('*');
    if (star == std::string::npos) {
        name = text;
        minPrefix = 0;
        return;
    }
    name = replaceAll(text, "*", "");
    minPrefix = static_cast<int32_t>(star);
}

void OptionTable::addOption(const OptionSpec& spec) {
    specs.push_back(spec);
    specs.back().needsValue = false;
}

std::string OptionTable::getText(const std::string& name, const std::string& defaultText) const {
    const auto found = values.find(name);
    return found != values.end() ? found->second : defaultText;
}

namespace {

// Whether the whole of text reads as a boolean (white space around it allowed).
bool readWholeBool(const std::string& text, bool& result) {
    const char* cursor = text.c_str();
    return !text.empty() && parseBool(cursor, result) && *skipWhitespace(cursor) == '\0';
}

// Whether the whole of text reads as a whole number (white space around it allowed).
bool readWholeNumber(const std::string& text, int32_t& result) {
    const char* cursor = text.c_str();
    return !text.empty() && parseNumber(cursor, result) && *skipWhitespace(cursor) == '\0';
}

}  // namespace

bool OptionTable::getBool(const std::string& name) const {
    bool result = false;
    return readWholeBool(getText(name, std::string()), result) && result;
}

int32_t OptionTable::getInt(const std::string& name, int32_t defaultValue) const {
    int32_t result = 0;
    return readWholeNumber(getText(name, std::string()), result) ? result : defaultValue;
}

std::string& OptionTable::valueRef(const std::string& name) {
    return values[name];
}

bool OptionTable::storeValue(OptionSpec& spec, const std::string& value, std::string& errorText) {
    const char* refusal = nullptr;
    if (spec.type == OptionType::Boolean) {
        bool ignored = false;
        refusal = readWholeBool(value, ignored) ? nullptr : kOptionNeedsBooleanValue;
    } else if (spec.type == OptionType::Number) {
        int32_t ignored = 0;
        refusal = readWholeNumber(value, ignored) ? nullptr : kOptionNeedsNumberValue;
    }
    std::string stored = value;
    if (refusal != nullptr) {
        errorText.clear();
        if (!spec.resolveValue || !spec.resolveValue(stored, errorText)) {
            if (errorText.empty()) {
                errorText = parserErrorText(refusal, kOptionSeparator, spec.name);
            }
            return false;
        }
    }
    valueRef(spec.name) = stored;
    spec.isSet = true;
    return true;
}
