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

bool readsTrue(const std::string& text) {
    bool result = false;
    return readWholeBool(text, result) && result;
}

bool readsAsNumber(const std::string& text, int32_t& number) {
    return readWholeNumber(text, number);
}

bool OptionTable::getBool(const std::string& name) const {
    return readsTrue(getText(name, std::string()));
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
    int32_t number = 0;
    if (spec.type == OptionType::Boolean) {
        bool ignored = false;
        refusal = readWholeBool(value, ignored) ? nullptr : kOptionNeedsBooleanValue;
    } else if (spec.type == OptionType::Number && !readWholeNumber(value, number)) {
        if (spec.takesName && *skipWhitespace(value.c_str()) != '\0') {
            nameValues.push_back(NameValue{spec.name, value, false});
        } else {
            refusal = kOptionNeedsNumberValue;
        }
    } else if (spec.type == OptionType::Decimal) {
        const DecimalRead read = readDecimal(value.c_str(), number);
        refusal = read == DecimalRead::Number     ? nullptr
                  : read == DecimalRead::TooLarge ? kNumberTooLarge
                                                  : kOptionNeedsNumberValue;
    }
    if (refusal != nullptr) {
        errorText = parserErrorText(refusal, kOptionSeparator, spec.name);
        return false;
    }
    valueRef(spec.name) = value;
    spec.isSet = true;
    return true;
}
