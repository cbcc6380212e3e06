// Applying one section of a settings file to an option table: each declared option under its
// own name, and the positional arguments under the numbered keys name1 ... name1000.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows_api.h"

struct OptionTable;

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

// Applies the section of the file at path to table (options marked commandLineOnly are not
// read). False, with errorText holding the message, when an option's value is refused; the
// numbered keys are then not read. A missing file, section or key is no error.
bool readSettings(const std::string& section, OptionTable& table, const std::string& path,
                  std::string& errorText);

// The value of key in section of the file at path (a relative path is taken from the current
// directory), or notSetMarker() when there is none or it is empty.
std::string readSettingsValue(const std::string& section, const std::string& path,
                              const std::string& key);

// number in decimal.
std::string numberText(int32_t number);
