#include "platform/executable_path.h"

#include <unistd.h>

// The path as the kernel reports it.
std::string executablePath() {
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", &path[0], path.size());
        if (n < 0) {
            return std::string();
        }
        // readlink cuts silently; only a result shorter than the buffer is known whole.
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}
