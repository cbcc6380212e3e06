// The Microsoft C runtime extensions on POSIX: _fullpath and the bounded string functions.
#include <errno.h>
#include <unistd.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace {

std::string currentDirectory() {
    std::string dir(256, '\0');
    for (;;) {
        if (getcwd(&dir[0], dir.size()) != nullptr) {
            dir.resize(strlen(dir.c_str()));
            return dir;
        }
        if (errno != ERANGE) {
            return std::string();
        }
        dir.resize(dir.size() * 2);
    }
}

// Resolves "." and ".." by text alone, as Windows does: a ".." after a symbolic link goes
// back to the link's parent, not to the target's.
std::string absoluteText(const char* relPath) {
    std::string joined;
    if (relPath[0] != '/') {
        joined = currentDirectory();
        if (joined.empty()) {
            return joined;
        }
        joined += '/';
    }
    joined += relPath;

    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= joined.size()) {
        size_t end = joined.find('/', pos);
        if (end == std::string::npos) {
            end = joined.size();
        }
        std::string part = joined.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty()) {  // ".." at the root stays at the root
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }

    std::string result;
    for (const std::string& part : parts) {
        result += '/';
        result += part;
    }
    // A directory named with a trailing separator keeps it, so a file name can follow.
    if (result.empty() || joined.back() == '/') {
        result += '/';
    }
    return result;
}

}  // namespace

char* _fullpath(char* absPath, const char* relPath, size_t maxLength) {
    if (relPath == nullptr || relPath[0] == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    // Built apart first: callers pass the same buffer as source and destination.
    std::string result = absoluteText(relPath);
    if (result.empty()) {
        return nullptr;
    }
    if (absPath == nullptr) {
        // As in the Microsoft runtime: a block from malloc, for the caller to free.
        absPath = static_cast<char*>(malloc(result.size() + 1));
        if (absPath == nullptr) {
            errno = ENOMEM;
            return nullptr;
        }
    } else if (result.size() + 1 > maxLength) {
        errno = ERANGE;
        return nullptr;
    }
    memcpy(absPath, result.c_str(), result.size() + 1);
    return absPath;
}

errno_t strcpy_s(char* dest, size_t destSize, const char* src) {
    if (dest == nullptr || destSize == 0) {
        return EINVAL;
    }
    if (src == nullptr) {
        dest[0] = '\0';
        return EINVAL;
    }
    size_t length = strnlen(src, destSize);
    if (length == destSize) {
        dest[0] = '\0';
        return ERANGE;
    }
    memcpy(dest, src, length + 1);
    return 0;
}

int sprintf_s(char* buffer, size_t size, const char* format, ...) {
    if (buffer == nullptr || size == 0) {
        return -1;
    }
    if (format == nullptr) {
        buffer[0] = '\0';
        return -1;
    }
    va_list args;
    va_start(args, format);
    int written = vsnprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    return written;
}

int _isatty(int fd) {
    return isatty(fd);
}

int _fileno(FILE* stream) {
    return fileno(stream);
}
