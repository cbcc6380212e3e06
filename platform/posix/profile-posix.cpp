// GetPrivateProfileStringA on POSIX. Callers read one key per call, a thousand keys in a
// row, so each file is parsed once and kept until it changes on disk.
//
// Knowing that it has not changed must be cheap: a stat costs microseconds on some
// machines, a thousand times over. So the file and its directory are watched with inotify,
// and while no change notice has arrived, a call makes one non-blocking read of the notice
// queue and no stat. Any notice at all withdraws that trust from every cached file; the next
// call per file stats it again (size, inode, modification time to the nanosecond) and
// re-reads it only if that differs. Where notices cannot be had (no inotify, a file system
// changed by other hosts, a relative path), every call stats.
// Not seen: a directory above the file's own being renamed or replaced.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
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

struct CachedFile {
    bool exists = false;
    // What the file looked like when parsed; any difference means it must be read again.
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    ProfileSections sections;
    // Watched, and no change notice since the last stat: the cache is current.
    bool trusted = false;
    // Its file system cannot report changes: stat on every call.
    bool statAlways = false;
};

struct ProfileCache {
    std::mutex lock;
    int notices = -2;  // the inotify descriptor; -2 before the first try, -1 when unavailable
    std::unordered_map<std::string, CachedFile> files;
};

ProfileCache* sharedCache = nullptr;

void lockBeforeFork() {
    sharedCache->lock.lock();
}
void unlockAfterFork() {
    sharedCache->lock.unlock();
}

// A child shares the parent's notice queue; reading from it would take the parent's
// notices. The child starts its own and checks every file again.
void separateAfterFork() {
    if (sharedCache->notices >= 0) {
        close(sharedCache->notices);
    }
    sharedCache->notices = -2;
    for (auto& entry : sharedCache->files) {
        entry.second.trusted = false;
    }
    sharedCache->lock.unlock();
}

ProfileCache& profileCache() {
    // Never destroyed: other threads may read settings while the process exits.
    static ProfileCache* cache = [] {
        sharedCache = new ProfileCache;
        pthread_atfork(lockBeforeFork, unlockAfterFork, separateAfterFork);
        return sharedCache;
    }();
    return *cache;
}

// Reading the file does not produce these; writing, replacing or removing it does.
constexpr uint32_t kFileChanges =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_MASK_ADD;
constexpr uint32_t kDirectoryChanges =
    kFileChanges | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

// File systems that other machines or user-space servers change behind inotify's back.
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

// Reads every pending notice; any notice makes every cached file be checked again.
void takeNotices(ProfileCache& cache) {
    if (cache.notices < 0) {
        return;
    }
    alignas(inotify_event) char events[4096];
    bool changed = false;
    for (;;) {
        ssize_t n = read(cache.notices, events, sizeof events);
        if (n > 0) {
            changed = true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (changed) {
        for (auto& entry : cache.files) {
            entry.second.trusted = false;
        }
    }
}

// Asks for notices of changes to the file and its directory; true when they will come.
// Done before the file is looked at, so a change made meanwhile still sends a notice.
bool watch(ProfileCache& cache, const std::string& path, CachedFile& file) {
    if (cache.notices == -2) {
        cache.notices = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    // A relative path names another file after a change of directory: only a stat tells.
    if (cache.notices < 0 || file.statAlways || path[0] != '/') {
        return false;
    }
    // When the directory is missing too, the nearest one that exists reports its creation.
    std::string directory = directoryOf(path);
    while (inotify_add_watch(cache.notices, directory.c_str(), kDirectoryChanges) < 0) {
        if ((errno != ENOENT && errno != ENOTDIR) || directory == "/" || directory == ".") {
            return false;
        }
        directory = directoryOf(directory);
    }
    struct statfs system {};
    if (statfs(directory.c_str(), &system) != 0 || changesUnreported(system.f_type)) {
        file.statAlways = true;
        return false;
    }
    // A missing file is covered by its directory's notices; a present one also through
    // any symbolic link, whose target may live elsewhere.
    return inotify_add_watch(cache.notices, path.c_str(), kFileChanges) >= 0 || errno == ENOENT;
}

bool sameFile(const CachedFile& file, const struct stat& info) {
    return file.exists && file.device == info.st_dev && file.inode == info.st_ino &&
           file.size == info.st_size && file.modified.tv_sec == info.st_mtim.tv_sec &&
           file.modified.tv_nsec == info.st_mtim.tv_nsec;
}

// Reads and parses the file anew; a file that cannot be read counts as missing.
void load(const std::string& path, CachedFile& file) {
    file.exists = false;
    file.sections.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
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
        return;
    }
    file.exists = true;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = info.st_size;
    file.modified = info.st_mtim;
    file.sections = parseProfileText(text);
}

// Makes the cached contents match the file on disk.
void refresh(ProfileCache& cache, const std::string& path, CachedFile& file) {
    bool watched = watch(cache, path, file);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        file.exists = false;
        file.sections.clear();
    } else if (!sameFile(file, info)) {
        load(path, file);
    }
    file.trusted = watched;
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
    if (fileName == nullptr || fileName[0] == '\0') {
        setLastError(ERROR_FILE_NOT_FOUND);
        return copyDefault(defaultValue, returned, size);
    }
    const std::string sectionName = profileName(section);
    const std::string keyName = profileName(key);

    ProfileCache& cache = profileCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    takeNotices(cache);
    CachedFile& file = cache.files[fileName];
    if (!file.trusted) {
        refresh(cache, fileName, file);
    }
    if (!file.exists) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return copyDefault(defaultValue, returned, size);
    }
    setLastError(ERROR_SUCCESS);
    auto foundSection = file.sections.find(sectionName);
    if (foundSection != file.sections.end()) {
        auto foundKey = foundSection->second.find(keyName);
        if (foundKey != foundSection->second.end()) {
            return copyOut(foundKey->second.data(), foundKey->second.size(), returned, size);
        }
    }
    return copyDefault(defaultValue, returned, size);
}
