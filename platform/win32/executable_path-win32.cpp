#include "platform/executable_path.h"

#include <vector>

#include "platform/windows_api.h"

// The buffer grows until the path fits: Windows paths are at most 32767 characters.
std::string executablePath() {
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
