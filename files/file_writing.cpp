#include "files/file_writing.h"

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& reason) {
    SafeFileWrite file;
    if (!openSafeFile(path, file, reason)) {
        return false;
    }
    if (!writeSafeFile(file, bytes.data(), bytes.size(), reason)) {
        discardSafeFile(file);
        return false;
    }
    return commitSafeFile(file, reason);
}
