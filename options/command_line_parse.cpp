// The command-line parse of the option table, with the settings file read between two passes
// over the command line.
#include "options/command_line_parse.h"

#include <algorithm>
#include <vector>

#include "options/parser_messages.h"
#include "settings/settings_reading.h"

bool parse(OptionTable& table, const std::string& section, const char* const* argv,
           const std::string& settingsPath, int argc, std::string& errorText) {
    std::string path = settingsPath;
    table.values.clear();
    table.positionals.clear();

    // The first pass only learns what the command line alone asks for (the options that steer
    // the settings file among it); its errors are dropped, and the second pass finds any error
    // again.
    parseArguments(table, argc, argv, errorText);
    bool skipSettings = !table.noSettingsOption.empty() && table.getBool(table.noSettingsOption);
    for (const OptionSpec& spec : table.specs) {
        skipSettings = skipSettings || (spec.skipsSettings && table.getBool(spec.name));
    }
    table.commandLineValues = table.values;
    table.commandLinePositionals = table.positionals.size();
    if (!table.settingsPathOption.empty()) {
        path = table.getText(table.settingsPathOption, std::string());
    }

    table.values.clear();
    table.positionals.clear();
    table.nameValues.clear();
    errorText.clear();
    if (!skipSettings && !applySettingsSection(table, section, path, errorText)) {
        return false;
    }
    if (!parseArguments(table, argc, argv, errorText)) {
        return false;
    }
    for (const OptionSpec& spec : table.specs) {
        if (spec.required && !spec.isSet) {
            errorText = parserErrorText(kRequiredOptionMissing, kOptionSeparator, spec.name);
            return false;
        }
    }
    return true;
}

bool applySettingsSection(OptionTable& table, const std::string& section, const std::string& path,
                          std::string& errorText) {
    SettingsKeys keys;
    std::vector<size_t> specOfName;  // the spec each name asked for belongs to
    for (size_t i = 0; i < table.specs.size(); ++i) {
        if (!table.specs[i].commandLineOnly) {
            keys.names.push_back(table.specs[i].name);
            specOfName.push_back(i);
        }
    }
    keys.numberedStem = table.positionalName;
    const SettingsValueStore store = [&](size_t index, const std::string& value,
                                         std::string& error) {
        const size_t names = table.nameValues.size();
        const bool stored = table.storeValue(table.specs[specOfName[index]], value, error);
        if (table.nameValues.size() > names) {
            table.nameValues.back().fromSettings = true;
        }
        return stored;
    };
    return readSettings(section, path, keys, store, table.positionals, errorText);
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
        case OptionType::Decimal:
            return "0";
        case OptionType::Text:
            break;
    }
    return "";
}

}  // namespace

bool parseArguments(OptionTable& table, int argc, const char* const* argv, std::string& errorText) {
    errorText.clear();
    // A vector ends at its first null entry, whatever the count claims.
    int count = 0;
    while (argv != nullptr && count < argc && argv[count] != nullptr) {
        ++count;
    }
    int current = 1;
    int remaining = 0;
    if (count > 0) {
        table.programPath = argv[0];
        remaining = count - 1;
    }
    auto token = [&](int index) { return std::string(argv[index]); };

    while (remaining > 0) {
        const std::string text = token(current);
        if (text.empty() || (text[0] != '-' && text[0] != '/')) {
            break;
        }
        const std::string optionText = text.substr(1);
        const int32_t index = findOption(table, optionText);
        if (index < 0) {
            if (!table.acceptUndeclared) {
                errorText = parserErrorText(kInvalidOption, kTokenSeparator, text);
                return false;
            }
            std::string name = optionText;
            std::string value = "1";
            if (optionText.find('=') != std::string::npos) {
                splitAt(optionText, '=', name, value);
            }
            if (!name.empty()) {
                table.valueRef(name) = value;
            }
        } else {
            OptionSpec& spec = table.specs[static_cast<size_t>(index)];
            const size_t k = commonPrefixLength(optionText, spec.name);
            if (k < optionText.size()) {  // the character at k is "="
                if (!table.storeValue(spec, optionText.substr(k + 1), errorText)) {
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
                if (!table.storeValue(spec, token(current), errorText)) {
                    return false;
                }
            } else {
                table.valueRef(spec.name) = bareValue(spec.type);
                spec.isSet = true;
            }
        }
        ++current;
        --remaining;
    }

    while (remaining > 0 &&
           table.positionals.size() < static_cast<size_t>(std::max(table.maxPositional, 0))) {
        table.positionals.push_back(token(current));
        ++current;
        --remaining;
    }
    if (table.positionals.size() < static_cast<size_t>(std::max(table.minPositional, 0))) {
        errorText = parserErrorText(kNotEnoughArguments, nullptr, std::string());
        return false;
    }
    if (remaining > 0) {
        errorText = parserErrorText(kInvalidArgument, kTokenSeparator, token(current));
        return false;
    }
    return true;
}

int32_t findOption(const OptionTable& table, const std::string& optionText) {
    int32_t best = -1;
    size_t bestLength = 0;
    for (size_t i = 0; i < table.specs.size(); ++i) {
        const OptionSpec& spec = table.specs[i];
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

bool splitAt(const std::string& text, char separator, std::string& left, std::string& right) {
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
