#include "driver/syx_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "driver/hex_text.h"
#include "platform/windows_api.h"

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;

std::string reasonOf(int error) {
    return std::strerror(error);
}

// A name of our own beside the target: the same directory keeps the rename on one file system.
std::string temporaryPathBeside(const std::string& path) {
    static unsigned serial = 0;
    return path + ".part-" + std::to_string(timeGetTime()) + "-" + std::to_string(++serial);
}

}  // namespace

size_t syxMessageLength(const SyxFile& file, size_t index) {
    const size_t end =
        index + 1 < file.messageStarts.size() ? file.messageStarts[index + 1] : file.bytes.size();
    return end - file.messageStarts[index];
}

bool splitSyxMessages(SyxFile& file, size_t& errorOffset, std::string& errorText) {
    const std::vector<uint8_t>& bytes = file.bytes;
    file.messageStarts.clear();
    if (bytes.empty()) {
        errorOffset = 0;
        errorText = "no sysex message";
        return false;
    }
    bool inMessage = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t byte = bytes[i];
        if (!inMessage) {
            if (byte != kSysExStart) {
                errorOffset = i;
                errorText = hexByteText(byte) + " where a message must start with F0";
                return false;
            }
            file.messageStarts.push_back(i);
            inMessage = true;
        } else if (byte == kSysExEnd) {
            inMessage = false;
        } else if (byte > 0x7F) {
            errorOffset = i;
            errorText = hexByteText(byte) + " inside a message (only 00 to 7F before its F7)";
            return false;
        }
    }
    if (inMessage) {
        errorOffset = bytes.size();
        errorText = "end of file before the F7 of the message at byte offset " +
                    std::to_string(file.messageStarts.back());
        return false;
    }
    return true;
}

bool readSyxFile(const std::string& path, SyxFile& file, std::string& errorText) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        errorText = "cannot read " + path + ": " + reasonOf(errno);
        return false;
    }
    file.bytes.clear();
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        file.bytes.insert(file.bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(stream) != 0;
    const int error = errno;
    std::fclose(stream);
    if (failed) {
        errorText = "cannot read " + path + ": " + reasonOf(error);
        return false;
    }
    size_t offset = 0;
    std::string what;
    if (!splitSyxMessages(file, offset, what)) {
        errorText = "invalid sysex file " + path + " at byte offset " + std::to_string(offset) +
                    ": " + what;
        return false;
    }
    return true;
}

bool saveSyxFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& reason) {
    const std::string temporary = temporaryPathBeside(path);
    std::FILE* stream = std::fopen(temporary.c_str(), "wb");
    if (stream == nullptr) {
        reason = reasonOf(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    int error = errno;
    if (std::fclose(stream) != 0 && written) {
        written = false;
        error = errno;
    }
    std::error_code renameError;
    if (written) {
        std::filesystem::rename(temporary, path, renameError);
    }
    if (!written || renameError) {
        reason = written ? renameError.message() : reasonOf(error);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
