// The running executable's own path, for the services that look beside it (the settings
// file, the MIDI system module). The one place that asks the system for it.
#pragma once

#include <string>

#ifdef _WIN32
#include <vector>

#include "platform/windows_api.h"

// The full path, or empty when it cannot be had whole. A path cut at the buffer's end would
// name another directory, so the buffer grows until the path fits (Windows paths are at most
// 32767 characters).
inline std::string executablePath() {
    const HMODULE self = GetModuleHandleA(nullptr);
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<char> buffer(size, '\0');
        const DWORD length = GetModuleFileNameA(self, buffer.data(), size);
        if (length == 0) {
            return std::string();
        }
        if (length < size) {
            return std::string(buffer.data(), length);
        }
    }
    return std::string();
}
#else
// The path as the kernel reports it, however long; empty when it cannot be read.
std::string executablePath();
#endif
