// GetPrivateProfileStringA on POSIX, reading INI files the way Windows' reader does. Each
// file is parsed once and kept until it changes on disk, because callers read one key per
// call, a thousand keys in a row.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/posix/last_error.h"
#include "platform/windows_api.h"

namespace {

typedef std::unordered_map<std::string, std::string> KeyValues;

struct ParsedFile {
    // What the file looked like when parsed; any difference means it must be read again.
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    time_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    // Section and key names are held lower-cased and trimmed.
    std::unordered_map<std::string, KeyValues> sections;
};

struct ProfileCache {
    std::mutex lock;
    std::unordered_map<std::string, ParsedFile> files;
};

ProfileCache& profileCache() {
    static ProfileCache* cache = new ProfileCache;
    return *cache;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text between begin and end without blanks and tabs at either side.
std::string trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return std::string(begin, end);
}

// Names compare regardless of ASCII case only; other bytes are left alone.
std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

void parseLine(const char* begin, const char* end, ParsedFile& file, KeyValues*& current,
               std::unordered_set<std::string>& seenSections) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    if (begin == end || *begin == ';') {
        return;
    }
    if (*begin == '[') {
        // The name runs to the last ']' on the line; a line without one is no header.
        const char* close = end;
        while (close > begin && close[-1] != ']') {
            --close;
        }
        if (close > begin + 1) {
            std::string name = lowerAscii(trimmed(begin + 1, close - 1));
            // Only the first section of a name counts; keys under a repeat are dropped.
            current = seenSections.insert(name).second ? &file.sections[name] : nullptr;
            return;
        }
    }
    const char* equals = begin;
    while (equals < end && *equals != '=') {
        ++equals;
    }
    if (equals == end || current == nullptr) {
        return;
    }
    std::string key = lowerAscii(trimmed(begin, equals));
    // emplace keeps the first of duplicated keys.
    current->emplace(key, unquoted(trimmed(equals + 1, end)));
}

void parseText(const std::string& text, ParsedFile& file) {
    const char* pos = text.data();
    const char* end = pos + text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos += 3;
    }
    KeyValues* current = nullptr;  // lines before the first header belong to no section
    std::unordered_set<std::string> seenSections;
    while (pos < end) {
        const char* lineEnd = pos;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') {
            ++lineEnd;
        }
        parseLine(pos, lineEnd, file, current, seenSections);
        // CRLF, LF and a lone CR each end one line.
        pos = lineEnd;
        if (pos < end && *pos == '\r') {
            ++pos;
        }
        if (pos < end && *pos == '\n') {
            ++pos;
        }
    }
}

bool sameStamp(const ParsedFile& file, const struct stat& info) {
    return file.device == info.st_dev && file.inode == info.st_ino && file.size == info.st_size &&
           file.modifiedSeconds == info.st_mtim.tv_sec &&
           file.modifiedNanoseconds == info.st_mtim.tv_nsec;
}

// Reads and parses the file anew. False when it cannot be read.
bool loadFile(const char* path, ParsedFile& file) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    std::string text;
    bool ok = fstat(fd, &info) == 0;
    char chunk[4096];
    while (ok) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            text.append(chunk, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
        }
    }
    close(fd);
    if (!ok) {
        return false;
    }
    file = ParsedFile();
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = info.st_size;
    file.modifiedSeconds = info.st_mtim.tv_sec;
    file.modifiedNanoseconds = info.st_mtim.tv_nsec;
    parseText(text, file);
    return true;
}

// Copies as much of text as fits with its terminator; the count of characters copied.
DWORD copyOut(const char* text, size_t length, LPSTR returned, DWORD size) {
    if (returned == nullptr || size == 0) {
        return 0;
    }
    if (length > size - 1) {
        length = size - 1;
    }
    memcpy(returned, text, length);
    returned[length] = '\0';
    return static_cast<DWORD>(length);
}

// Windows drops trailing blanks from the default before handing it back.
DWORD copyDefault(LPCSTR defaultValue, LPSTR returned, DWORD size) {
    if (defaultValue == nullptr) {
        defaultValue = "";
    }
    size_t length = strlen(defaultValue);
    while (length > 0 && defaultValue[length - 1] == ' ') {
        --length;
    }
    return copyOut(defaultValue, length, returned, size);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName) {
    if (section == nullptr || key == nullptr) {
        // Listing section or key names is not provided: an empty list.
        setLastError(ERROR_INVALID_PARAMETER);
        if (returned != nullptr && size > 0) {
            returned[0] = '\0';
            if (size > 1) {
                returned[1] = '\0';
            }
        }
        return 0;
    }
    struct stat info {};
    if (fileName == nullptr || stat(fileName, &info) != 0) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return copyDefault(defaultValue, returned, size);
    }
    std::string sectionName = lowerAscii(trimmed(section, section + strlen(section)));
    std::string keyName = lowerAscii(trimmed(key, key + strlen(key)));

    ProfileCache& cache = profileCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    auto cached = cache.files.find(fileName);
    if (cached == cache.files.end() || !sameStamp(cached->second, info)) {
        ParsedFile fresh;
        if (!loadFile(fileName, fresh)) {
            if (cached != cache.files.end()) {
                cache.files.erase(cached);
            }
            setLastError(ERROR_FILE_NOT_FOUND);
            return copyDefault(defaultValue, returned, size);
        }
        cached = cache.files.insert_or_assign(fileName, std::move(fresh)).first;
    }
    setLastError(ERROR_SUCCESS);
    const auto& sections = cached->second.sections;
    auto foundSection = sections.find(sectionName);
    if (foundSection != sections.end()) {
        auto foundKey = foundSection->second.find(keyName);
        if (foundKey != foundSection->second.end()) {
            return copyOut(foundKey->second.data(), foundKey->second.size(), returned, size);
        }
    }
    return copyDefault(defaultValue, returned, size);
}
