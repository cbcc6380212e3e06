// The full parse of an option table: the command line, with the settings file section read
// between two passes over it so that the command line can steer the file and still override
// its values.
#pragma once

#include <cstdint>
#include <string>

#include "options/option_table.h"

// Fills table from the command line and the settings file section: a first pass over the
// command line for the options that steer the settings file (kept as commandLineValues), then
// the settings file, unless an option with skipsSettings is true, then the command line
// again, then the check of required options. False, with errorText holding one message, at
// the first malformed input.
bool parse(OptionTable& table, const std::string& section, const char* const* argv,
           const std::string& settingsPath, int argc, std::string& errorText);

// One pass over the command line: options, then positional arguments.
bool parseArguments(OptionTable& table, int argc, const char* const* argv, std::string& errorText);

// Applies the section of the settings file at path to table: each option not marked
// commandLineOnly under its own name, stored through storeValue, then the values of the keys
// positionalName1 ... positionalName1000 appended to positionals. False, with errorText holding
// the message, when a value is refused; the numbered keys are then not read.
bool applySettingsSection(OptionTable& table, const std::string& section, const std::string& path,
                          std::string& errorText);

// The index of the spec in table that optionText (a token without its prefix) names, or -1.
int32_t findOption(const OptionTable& table, const std::string& optionText);

// Splits text at the first separator; false, with both parts emptied, when it is absent.
bool splitAt(const std::string& text, char separator, std::string& left, std::string& right);
