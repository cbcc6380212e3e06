// The command-line parse of the option table, with the settings file read between two passes
// over the command line.
#include <algorithm>

#include "options/option_table.h"
#include "options/parser_messages.h"
#include "settings/settings_reading.h"

bool OptionTable::parse(const std::string& section, const char* const* argv,
                        const std::string& settingsPath, int argc, std::string& errorText) {
    std::string path = settingsPath;
    values.clear();
    positionals.clear();

    // The first pass only learns the options that steer the settings file; its values and
    // errors are dropped, and the second pass finds any error again.
    parseArguments(argc, argv, errorText);
    const bool skipSettings = !noSettingsOption.empty() && getBool(noSettingsOption);
    if (!settingsPathOption.empty()) {
        path = getText(settingsPathOption, std::string());
    }

    values.clear();
    positionals.clear();
    errorText.clear();
    if (!skipSettings && !readSettings(section, *this, path, errorText)) {
        return false;
    }
    if (!parseArguments(argc, argv, errorText)) {
        return false;
    }
    for (const OptionSpec& spec : specs) {
        if (spec.required && !spec.isSet) {
            errorText = parserErrorText(kRequiredOptionMissing, kOptionSeparator, spec.name);
            return false;
        }
    }
    return true;
}

namespace {

// The number of leading bytes in which a and b agree.
size_t commonPrefixLength(const std::string& a, const std::string& b) {
    size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k]) {
        ++k;
    }
    return k;
}

// The fixed text that a bare occurrence of an option without a value records.
const char* bareValue(OptionType type) {
    switch (type) {
        case OptionType::Boolean:
            return "1";
        case OptionType::Number:
            return "0";
        case OptionType::Text:
            break;
    }
    return "";
}

}  // namespace

bool OptionTable::parseArguments(int argc, const char* const* argv, std::string& errorText) {
    errorText.clear();
    // A vector ends at its first null entry, whatever the count claims.
    int count = 0;
    while (argv != nullptr && count < argc && argv[count] != nullptr) {
        ++count;
    }
    int current = 1;
    int remaining = 0;
    if (count > 0) {
        programPath = argv[0];
        remaining = count - 1;
    }
    auto token = [&](int index) { return std::string(argv[index]); };

    while (remaining > 0) {
        const std::string text = token(current);
        if (text.empty() || (text[0] != '-' && text[0] != '/')) {
            break;
        }
        const std::string optionText = text.substr(1);
        const int32_t index = findOption(optionText);
        if (index < 0) {
            if (!acceptUndeclared) {
                errorText = parserErrorText(kInvalidOption, kTokenSeparator, text);
                return false;
            }
            std::string name = optionText;
            std::string value = "1";
            if (optionText.find('=') != std::string::npos) {
                splitAt(optionText, '=', name, value);
            }
            if (!name.empty()) {
                valueRef(name) = value;
            }
        } else {
            OptionSpec& spec = specs[static_cast<size_t>(index)];
            const size_t k = commonPrefixLength(optionText, spec.name);
            if (k < optionText.size()) {  // the character at k is "="
                if (!storeValue(spec, optionText.substr(k + 1), errorText)) {
                    return false;
                }
            } else if (spec.takesValue) {
                if (remaining == 1) {
                    errorText =
                        parserErrorText(kOptionNeedsValueParameter, kOptionSeparator, spec.name);
                    return false;
                }
                ++current;
                --remaining;
                if (!storeValue(spec, token(current), errorText)) {
                    return false;
                }
            } else {
                valueRef(spec.name) = bareValue(spec.type);
                spec.isSet = true;
            }
        }
        ++current;
        --remaining;
    }

    while (remaining > 0 && positionals.size() < static_cast<size_t>(std::max(maxPositional, 0))) {
        positionals.push_back(token(current));
        ++current;
        --remaining;
    }
    if (positionals.size() < static_cast<size_t>(std::max(minPositional, 0))) {
        errorText = parserErrorText(kNotEnoughArguments, nullptr, std::string());
        return false;
    }
    if (remaining > 0) {
        errorText = parserErrorText(kInvalidArgument, kTokenSeparator, token(current));
        return false;
    }
    return true;
}

int32_t OptionTable::findOption(const std::string& optionText) const {
    int32_t best = -1;
    size_t bestLength = 0;
    for (size_t i = 0; i < specs.size(); ++i) {
        const OptionSpec& spec = specs[i];
        if (spec.name.size() <= bestLength) {
            continue;
        }
        const size_t k = commonPrefixLength(optionText, spec.name);
        const size_t least =
            spec.minPrefix >= 1 ? static_cast<size_t>(spec.minPrefix) : spec.name.size();
        if (k >= least && (k == optionText.size() || optionText[k] == '=')) {
            best = static_cast<int32_t>(i);
            bestLength = k;
        }
    }
    return best;
}

bool OptionTable::splitAt(const std::string& text, char separator, std::string& left,
                          std::string& right) {
    const size_t at = text.find(separator);
    if (at == std::string::npos) {
        left.clear();
        right.clear();
        return false;
    }
    left = text.substr(0, at);
    right = text.substr(at + 1);
    return true;
}
