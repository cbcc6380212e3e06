#include "files/file_reading.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The size of a file that has one (a regular file); -1 for a stream, which cannot seek.
long sizeIfKnown(std::FILE* stream) {
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        std::clearerr(stream);
        return -1;
    }
    const long size = std::ftell(stream);
    return std::fseek(stream, 0, SEEK_SET) == 0 ? size : -1;
}

ReadResult readStream(std::FILE* stream, size_t limit, const ReadCheck& check,
                      std::vector<uint8_t>& bytes, std::string& reason) {
    const long size = sizeIfKnown(stream);
    if (size > 0 && static_cast<unsigned long>(size) > limit) {
        return ReadResult::TooLarge;
    }
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        if (got > limit - bytes.size()) {
            return ReadResult::TooLarge;
        }
        if (check && !check(chunk, got, bytes.size())) {
            return ReadResult::Refused;
        }
        // The room for the whole file, once its start has passed the check.
        if (bytes.empty() && size > 0) {
            bytes.reserve(static_cast<size_t>(size));
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(stream) != 0) {
        reason = std::strerror(errno);
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

}  // namespace

ReadResult readFileWithBound(const std::string& path, size_t limit, const ReadCheck& check,
                             std::vector<uint8_t>& bytes, std::string& reason) {
    bytes.clear();
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        reason = std::strerror(errno);
        return ReadResult::Failed;
    }
    const ReadResult result = readStream(stream, limit, check, bytes, reason);
    std::fclose(stream);
    if (result != ReadResult::Read) {
        bytes = std::vector<uint8_t>();
    }
    return result;
}
