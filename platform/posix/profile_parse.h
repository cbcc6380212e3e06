// The text of an INI file turned into sections of keys, by the rules of Windows' reader.
#pragma once

#include <string>
#include <unordered_map>

// Key names to values; names lower-cased and trimmed, values trimmed and unquoted.
typedef std::unordered_map<std::string, std::string> ProfileKeys;
// Section names (lower-cased and trimmed) to their keys.
typedef std::unordered_map<std::string, ProfileKeys> ProfileSections;

ProfileSections parseProfileText(const std::string& text);

// A section or key name as the parsed sections hold it.
std::string profileName(const char* name);
