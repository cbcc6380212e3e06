// Settings served from memory: the bytes of a settings file parsed as the profile reader
// parses a file, and every settings read answered from them, with no file behind it. A
// thousand reads of a real file cost a thousand checks that it has not changed; from memory
// the fuzz targets run many times as many inputs. A few inputs still go through a real file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/windows_api.h"

// Serves every settings read from contents; returns a path to hand to the readers (any file
// name gets the same answers).
const std::string& useMemorySettings(const std::string& contents);

// GetPrivateProfileStringA's answer from the contents last given to useMemorySettings.
DWORD WINAPI readMemorySettings(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                                DWORD size, LPCSTR fileName);

// Settings reads go to real files again.
void useFileSettings();

// True for about one input in 64, chosen by a hash of its bytes, so a run reproduces.
bool throughRealFile(const uint8_t* data, size_t size);
