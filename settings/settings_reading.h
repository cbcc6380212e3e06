// Reading one section of a settings file: named keys, each handed to a store that may refuse
// its value, and the numbered keys stem1 ... stem1000. The reading knows nothing of options;
// the option parse decides which names to ask for and how to store what is found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/windows_api.h"

// Reads one key of a settings file as GetPrivateProfileStringA does.
typedef DWORD(WINAPI* ProfileReader)(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                     LPSTR returned, DWORD size, LPCSTR fileName);

// Puts reader in place of GetPrivateProfileStringA for every settings read that follows (null:
// GetPrivateProfileStringA again). A fuzzer serves a file's bytes from memory this way, at a
// fraction of the cost of a thousand reads of a real file.
void useProfileReader(ProfileReader reader);

// The value that stands for "key not set": the four bytes 01 02 03 04. A key whose value is
// exactly these bytes counts as absent.
const std::string& notSetMarker();

// The keys to read from a section: named keys, and the numbered keys numberedStem1 ...
// numberedStem1000 (every number, whatever the caller's limits).
struct SettingsKeys {
    std::vector<std::string> names;  // an empty name is skipped
    std::string numberedStem;
};

// Takes the value found under keys.names[index]; false, with errorText filled, refuses it.
typedef std::function<bool(size_t index, const std::string& value, std::string& errorText)>
    SettingsValueStore;

// Reads the section of the file at path: each named key in turn, its value (if it has one)
// handed to store; then the numbered keys, each value appended to numbered in the order of the
// numbers, not of the lines. False, with errorText holding the store's message, when the store
// refuses a value; the numbered keys are then not read. A missing file, section or key is no
// error; errorText is emptied on entry.
bool readSettings(const std::string& section, const std::string& path, const SettingsKeys& keys,
                  const SettingsValueStore& store, std::vector<std::string>& numbered,
                  std::string& errorText);

// The value of key in section of the file at path (a relative path is taken from the current
// directory), or notSetMarker() when there is none or it is empty.
std::string readSettingsValue(const std::string& section, const std::string& path,
                              const std::string& key);

// number in decimal.
std::string numberText(int32_t number);
