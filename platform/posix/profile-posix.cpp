// GetPrivateProfileStringA on POSIX. Callers read one key per call, a thousand keys in a
// row, so each file is parsed once and kept until it changes on disk.
//
// Knowing that it has not changed must be cheap: a path lookup costs over a microsecond on
// some machines, a thousand times over. So the cache holds the loaded file open, and a call
// makes one fstat of it: a change in place shows in its size or times, a replacement or
// removal in its link count. A missing file is covered the same way by the nearest directory
// on its path that exists, whose times change when an entry is added; a file reached through
// a symbolic link by its target and by the link's directory, as a link is changed by
// replacing it. Only when such an fstat differs is the path looked up again and, if the file
// differs too, read again.
// Kernels with fine-grained timestamps on demand (Linux 6.13 on) give every change made after
// such a check a time of its own; older ones may miss a rewrite of the same size within one
// clock tick. Where held files cannot tell (a file system changed by other hosts, a relative
// path), every call looks up the path.
// Not seen: a directory above the file's own, or a link on the way to it, being changed.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/posix/last_error.h"
#include "platform/posix/profile_parse.h"
#include "platform/windows_api.h"

namespace {

// More distinct files than any program reads; past it the cache starts afresh.
constexpr size_t kMaxCachedFiles = 64;

// An open file or directory and what fstat told of it at the last check.
struct HeldFile {
    int fd = -1;
    struct stat state {};
};

struct CachedFile {
    bool exists = false;
    // What the file looked like when parsed; any difference means it must be read again.
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    ParsedProfile profile;
    // The loaded file, and the directory that holds the name (only needed for a link); or,
    // when it is missing, the nearest existing directory. None: every call looks the path up.
    HeldFile held[2];
    // Its file system cannot report changes through an open file: look up on every call.
    bool lookUpAlways = false;
    bool fileSystemKnown = false;
};

struct ProfileCache {
    std::mutex lock;
    std::unordered_map<std::string, CachedFile> files;
};

ProfileCache* sharedCache = nullptr;

// The lock is taken across fork: a child has only the forking thread, so a lock held by
// another thread at that moment would never be released in it. The child inherits the held
// files, which it may keep using: fstat only reads them.
void lockBeforeFork() {
    sharedCache->lock.lock();
}
void unlockAfterFork() {
    sharedCache->lock.unlock();
}

ProfileCache& profileCache() {
    // Never destroyed: other threads may read settings while the process exits.
    static ProfileCache* cache = [] {
        sharedCache = new ProfileCache;
        pthread_atfork(lockBeforeFork, unlockAfterFork, unlockAfterFork);
        return sharedCache;
    }();
    return *cache;
}

// File systems that other machines or user-space servers change behind an open file, by the
// f_type numbers statfs reports for them (linux/magic.h; not every one is in that header).
bool changesUnreported(long type) {
    switch (static_cast<unsigned long>(type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
            return true;
        default:
            return false;
    }
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Everything a change to the file or directory, or its replacement or removal, alters.
bool sameState(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_nlink == b.st_nlink && sameTime(a.st_mtim, b.st_mtim) &&
           sameTime(a.st_ctim, b.st_ctim);
}

bool sameFile(const CachedFile& file, const struct stat& info) {
    return file.exists && file.device == info.st_dev && file.inode == info.st_ino &&
           file.size == info.st_size && sameTime(file.modified, info.st_mtim);
}

void release(HeldFile& held) {
    if (held.fd >= 0) {
        close(held.fd);
        held.fd = -1;
    }
}

void release(CachedFile& file) {
    for (HeldFile& held : file.held) {
        release(held);
    }
}

void forget(CachedFile& file) {
    file.exists = false;
    file.profile = ParsedProfile();
}

// True while something is held and all of it is as it was at the last check.
bool heldUnchanged(const CachedFile& file) {
    bool any = false;
    for (const HeldFile& held : file.held) {
        struct stat now {};
        if (held.fd >= 0) {
            if (fstat(held.fd, &now) != 0 || !sameState(held.state, now)) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

// Reads and parses the open file unless it is the one already parsed. info is its state,
// taken before reading, so that a change during the read shows at the next check.
void loadFrom(int fd, const struct stat& info, CachedFile& file) {
    if (sameFile(file, info)) {
        return;
    }
    forget(file);
    // Read in one piece of the size fstat gave: growing a string chunk by chunk would briefly
    // hold two copies of a large file. The byte to spare lets the end show without growing.
    std::string text(static_cast<size_t>(info.st_size) + 1, '\0');
    size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            text.resize(text.size() + 4096);  // it grew since fstat
        }
        ssize_t n = read(fd, &text[length], text.size() - length);
        if (n > 0) {
            length += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return;  // a file that cannot be read counts as missing
        }
    }
    text.resize(length);
    file.exists = true;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = info.st_size;
    file.modified = info.st_mtim;
    file.profile = parseProfileText(std::move(text));
}

// How the path turned out when it was looked up.
enum class Found { Absent, Held, HeldThroughLink, NotHeld };

// Looks the path up and reads the file if it differs from the parsed one; holds it when
// `hold` and it is a regular file.
Found lookUp(const std::string& path, CachedFile& file, bool hold, HeldFile& into) {
    bool throughLink = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0 && errno == ELOOP) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        throughLink = true;
    }
    if (fd < 0) {
        // A link to nothing is not covered by its directory: its target may appear elsewhere.
        const bool absent = !throughLink && (errno == ENOENT || errno == ENOTDIR);
        forget(file);
        return absent ? Found::Absent : Found::NotHeld;
    }
    struct stat info {};
    // Only a regular file is read: a device or a FIFO could feed bytes without end (opening
    // one does not block, thanks to O_NONBLOCK), so it counts as no file at all.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        forget(file);
    } else {
        loadFrom(fd, info, file);
    }
    if (hold && file.exists && S_ISREG(info.st_mode)) {
        into.fd = fd;
        into.state = info;
        return throughLink ? Found::HeldThroughLink : Found::Held;
    }
    close(fd);
    return Found::NotHeld;
}

// Holds the nearest directory on the path that exists.
void holdNearestDirectory(const std::string& path, HeldFile& into) {
    std::string directory = directoryOf(path);
    for (;;) {
        int fd = open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            if (fstat(fd, &into.state) == 0) {
                into.fd = fd;
            } else {
                close(fd);
            }
            return;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || directory == "/" || directory == ".") {
            return;
        }
        directory = directoryOf(directory);
    }
}

// Makes the cached contents match the file on disk and holds what tells of the next change.
void refresh(const std::string& path, CachedFile& file) {
    release(file);
    // A relative path names another file after a change of directory: only a lookup tells.
    bool hold = !file.lookUpAlways && path[0] == '/';
    if (hold && !file.fileSystemKnown) {
        struct statfs system {};
        if (statfs(directoryOf(path).c_str(), &system) == 0) {
            file.fileSystemKnown = true;
            file.lookUpAlways = changesUnreported(system.f_type);
            hold = !file.lookUpAlways;
        }
    }
    // The directory is held before the lookup, so that a name added or replaced meanwhile
    // still changes what was held.
    if (hold) {
        holdNearestDirectory(path, file.held[1]);
    }
    switch (lookUp(path, file, hold, file.held[0])) {
        case Found::Held:
            release(file.held[1]);  // the file itself tells of every change to it
            break;
        case Found::NotHeld:
            release(file);
            break;
        case Found::Absent:
        case Found::HeldThroughLink:
            break;
    }
}

CachedFile& cachedFile(ProfileCache& cache, const std::string& path) {
    auto found = cache.files.find(path);
    if (found != cache.files.end()) {
        return found->second;
    }
    if (cache.files.size() >= kMaxCachedFiles) {
        for (auto& entry : cache.files) {
            release(entry.second);
        }
        cache.files.clear();
    }
    return cache.files[path];
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName) {
    if (section == nullptr || key == nullptr || fileName == nullptr || fileName[0] == '\0') {
        return profileStringFrom(nullptr, section, key, defaultValue, returned, size);
    }
    ProfileCache& cache = profileCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    CachedFile& file = cachedFile(cache, fileName);
    if (!heldUnchanged(file)) {
        refresh(fileName, file);
    }
    return profileStringFrom(file.exists ? &file.profile : nullptr, section, key, defaultValue,
                             returned, size);
}
