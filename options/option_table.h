// The option table: the options a program declares, the rules for its positional arguments,
// and after a parse (options/command_line_parse.h) the value text of every option given and the
// positional arguments. Values are held as the text received and converted when they are read
// back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// How a value is tested when stored, and what a bare occurrence records.
enum class OptionType : int32_t {
    Text = 0,     // any text, stored without a test
    Boolean = 1,  // a boolean word
    Number = 2,   // a whole number (digits, optionally with an exponent: 12e1)
    Decimal = 3,  // a whole number of decimal digits only, at most 2147483647
};

// One declared option. The table keeps its own copies.
struct OptionSpec {
    std::string name;  // the registration text without its "*" markers; case-sensitive
    OptionType type = OptionType::Text;
    bool required = false;         // the parse fails unless a value was recorded
    bool needsValue = false;       // carried along; no step of the parse depends on it
    bool isSet = false;            // a value was recorded (command line or settings file)
    bool takesValue = false;       // without "=", the next command-line token is the value
    int32_t minPrefix = 0;         // leading characters an abbreviation must spell; <= 0: all
    bool commandLineOnly = false;  // never read from the settings file
    // Boolean: given true on the command line, the settings file is not read at all.
    bool skipsSettings = false;
    // Number: a value that is no number but has a visible character is stored as a name, and
    // listed in the table's nameValues for the owner to resolve once the parse is done.
    bool takesName = false;

    // Sets name and minPrefix from a registration text such as "midi*out": every "*" is
    // removed and the position of the first one is the shortest abbreviation allowed.
    void assignName(const std::string& text);
};

// Whether text reads as a boolean word that means true, as getBool reads a stored value.
bool readsTrue(const std::string& text);

// Whether text reads as a whole number, as getInt reads a stored value; number is then set.
bool readsAsNumber(const std::string& text, int32_t& number);

// A name given to an option with takesName, as the parse met it.
struct NameValue {
    std::string option;
    std::string value;
    bool fromSettings = false;  // read from the settings file, not the command line
};

struct OptionTable {
    std::string positionalName;  // also the stem of the settings keys name1, name2, ...
    int32_t minPositional = 0;
    int32_t maxPositional = 0;                  // 0: every positional argument is refused
    std::vector<std::string> positionals;       // settings file's first, then command line's
    std::map<std::string, std::string> values;  // option name -> value text
    std::vector<OptionSpec> specs;              // in registration order
    bool acceptUndeclared = false;              // store undeclared options instead of failing
    std::string programPath;                    // the first command-line token
    std::string noSettingsOption;    // an option that, when true, skips the settings file
    std::string settingsPathOption;  // an option whose value replaces the settings path
    // What the parse's first pass found on the command line alone, up to its first error: the
    // values given and the number of positional arguments.
    std::map<std::string, std::string> commandLineValues;
    size_t commandLinePositionals = 0;
    std::vector<NameValue> nameValues;  // the names stored, in the order they came

    // Appends a copy of spec (registration leaves needsValue cleared).
    void addOption(const OptionSpec& spec);

    // The text stored under name, even when empty; defaultText when none is stored.
    std::string getText(const std::string& name, const std::string& defaultText) const;
    // The stored text read as a boolean word; false when nothing usable is stored.
    bool getBool(const std::string& name) const;
    // The stored text read as a whole number; defaultValue when nothing usable is stored.
    int32_t getInt(const std::string& name, int32_t defaultValue) const;
    // The text stored under name, inserted empty first when absent.
    std::string& valueRef(const std::string& name);
    // Tests value against spec's type and stores it, unchanged, under spec's name; spec must
    // be one of this table's specs and is marked as set. False with errorText filled when the
    // value is refused.
    bool storeValue(OptionSpec& spec, const std::string& value, std::string& errorText);
};
