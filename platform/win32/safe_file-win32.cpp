#include "platform/safe_file.h"

#include <errno.h>
#include <string.h>

#include "platform/windows_api.h"

namespace {

enum class TargetKind { Missing, Regular, Stream };

struct Target {
    TargetKind kind = TargetKind::Missing;
    std::string path;                      // the name written or replaced, links followed
    HANDLE stream = INVALID_HANDLE_VALUE;  // a device or pipe, open for writing
};

// The system's reason, in the C runtime's words where it has them, as on other systems.
std::string reasonOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
            return strerror(EACCES);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return strerror(ENOSPC);
        case ERROR_FILENAME_EXCED_RANGE:
            return strerror(ENAMETOOLONG);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return strerror(EEXIST);
    }
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && strchr("\r\n .", text[length - 1]) != nullptr) {
        --length;
    }
    return length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
}

bool fail(DWORD error, std::string& reason) {
    reason = reasonOf(error);
    return false;
}

std::string directoryOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    }
    // "\" and "C:\" keep their separator: without it they would name other directories.
    const bool root = separator == 0 || path[separator - 1] == ':';
    return path.substr(0, root ? separator + 1 : separator);
}

std::string joined(const std::string& directory, const std::string& name) {
    const char last = directory.empty() ? ':' : directory.back();
    return last == '\\' || last == '/' || last == ':' ? directory + name : directory + "\\" + name;
}

// The path of an open file through any links, where the system can tell it.
std::string finalPathOf(HANDLE handle, const std::string& path) {
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD size = GetFinalPathNameByHandleA(handle, nullptr, 0, flags);
    if (size == 0) {
        return path;
    }
    std::string final(size, '\0');
    const DWORD length = GetFinalPathNameByHandleA(handle, &final[0], size, flags);
    if (length == 0 || length >= size) {
        return path;
    }
    final.resize(length);
    return final;
}

// Sixty bits from the counter, the process, the thread and where the stack lies; CREATE_NEW,
// not the name, is what keeps a planted file out, and the name only keeps clear of one.
std::string randomName() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz234567";
    static uint64_t count = 0;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t x = static_cast<uint64_t>(counter.QuadPart) ^
                 (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetCurrentThreadId() ^
                 reinterpret_cast<uintptr_t>(&counter) ^ (++count * 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    std::string name = "midiparley-";
    for (int i = 0; i < 12; ++i, x >>= 5) {
        name += kLetters[x & 31];
    }
    return name + ".tmp";
}

// A new file in directory under a fresh short name. CREATE_NEW never opens what is there, and
// with FILE_FLAG_OPEN_REPARSE_POINT a link planted at the name is there, not followed.
HANDLE createTemporary(const std::string& directory, DWORD flags, std::string& path,
                       std::string& reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = joined(directory, randomName());
        const HANDLE handle =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
        const DWORD error = GetLastError();
        if (handle != INVALID_HANDLE_VALUE ||
            (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            if (handle == INVALID_HANDLE_VALUE) {
                fail(error, reason);
            }
            return handle;
        }
    }
    fail(ERROR_FILE_EXISTS, reason);
    return INVALID_HANDLE_VALUE;
}

bool findTarget(const std::string& path, Target& target, std::string& reason) {
    if (path.empty()) {
        return fail(ERROR_FILE_NOT_FOUND, reason);
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = strerror(EISDIR);
        return false;
    }
    // A read-only file refuses a redirection, whoever the user is.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return fail(ERROR_ACCESS_DENIED, reason);
    }
    // Opened for writing as it is, which changes nothing, to learn its kind.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        target.path = path;
        return error == ERROR_FILE_NOT_FOUND || fail(error, reason);
    }
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        target.kind = TargetKind::Stream;
        target.path = path;
        target.stream = handle;
        return true;
    }
    target.kind = TargetKind::Regular;
    target.path = finalPathOf(handle, path);
    CloseHandle(handle);
    if (type != FILE_TYPE_DISK) {
        reason = kNotWritableKindReason;
        return false;
    }
    return true;
}

}  // namespace

bool checkSafeFileTarget(const std::string& path, std::string& reason) {
    Target target;
    if (!findTarget(path, target, reason)) {
        return false;
    }
    if (target.kind == TargetKind::Stream) {
        CloseHandle(target.stream);
        return true;
    }
    // A file made and gone at once: the directory is there and takes new files.
    std::string probe;
    const HANDLE handle =
        createTemporary(directoryOf(target.path), FILE_FLAG_DELETE_ON_CLOSE, probe, reason);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

bool openSafeFile(const std::string& path, SafeFileWrite& file, std::string& reason) {
    file = SafeFileWrite();
    Target target;
    if (!findTarget(path, target, reason)) {
        return false;
    }
    file.targetPath = target.path;
    if (target.kind == TargetKind::Stream) {
        file.streamed = true;
        file.handle = reinterpret_cast<intptr_t>(target.stream);
        return true;
    }
    const HANDLE handle = createTemporary(directoryOf(target.path), 0, file.temporaryPath, reason);
    if (handle == INVALID_HANDLE_VALUE) {
        file.temporaryPath.clear();
        return false;
    }
    file.handle = reinterpret_cast<intptr_t>(handle);
    file.replaces = target.kind == TargetKind::Regular;
    return true;
}

bool writeSafeFile(SafeFileWrite& file, const uint8_t* bytes, size_t count, std::string& reason) {
    const HANDLE handle = reinterpret_cast<HANDLE>(file.handle);
    while (count > 0) {
        const DWORD part = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, part, &written, nullptr) || written == 0) {
            return fail(written == 0 ? ERROR_WRITE_FAULT : GetLastError(), reason);
        }
        bytes += written;
        count -= written;
    }
    return true;
}

bool commitSafeFile(SafeFileWrite& file, std::string& reason) {
    const HANDLE handle = reinterpret_cast<HANDLE>(file.handle);
    file.handle = -1;
    if (file.streamed) {
        return CloseHandle(handle) || fail(GetLastError(), reason);
    }
    // Flushed before the replacement: a crash then leaves the old contents or the new, whole.
    bool done = FlushFileBuffers(handle) || fail(GetLastError(), reason);
    CloseHandle(handle);
    const char* temporary = file.temporaryPath.c_str();
    const char* target = file.targetPath.c_str();
    // ReplaceFile gives the new contents the replaced file's attributes, security and
    // creation time.
    if (done &&
        !(file.replaces ? ReplaceFileA(target, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                       nullptr, nullptr)
                        : MoveFileExA(temporary, target,
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
        done = fail(GetLastError(), reason);
    }
    if (!done) {
        discardSafeFile(file);
        return false;
    }
    file.temporaryPath.clear();
    return true;
}

void discardSafeFile(SafeFileWrite& file) {
    if (file.handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(file.handle));
    }
    if (!file.temporaryPath.empty()) {
        DeleteFileA(file.temporaryPath.c_str());
    }
    file = SafeFileWrite();
}
