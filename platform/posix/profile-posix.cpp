// GetPrivateProfileStringA on POSIX. Callers read one key per call, a thousand keys in a
// row, so each file is parsed once and kept while it stays as it was: a call looks the path
// up (one stat) and reads the file again only when the file that the path names differs in
// device, inode, size or times. A missing file costs that lookup alone.
// Between beginProfileReads and endProfileReads, a thread's reads of a file share the lookup
// of the first of them: a thousand reads in a row then make one system call, not a thousand.
// Only a regular file (or a link to one) is read: a device or a FIFO could feed bytes without
// end, so anything else of that name counts as no file at all, and is never opened.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "platform/posix/profile_parse.h"
#include "platform/profile_reads.h"
#include "platform/windows_api.h"

namespace {

// More distinct files than any program reads; past it the cache starts afresh.
constexpr size_t kMaxCachedFiles = 64;

struct CachedFile {
    bool exists = false;   // a regular file was read into profile
    struct stat state {};  // the file's, taken before it was read
    ParsedProfile profile;
    uint64_t checkedInReads = 0;  // the run of reads (beginProfileReads) that last looked
};

struct ProfileCache {
    std::mutex lock;
    std::map<std::string, CachedFile, std::less<>> files;  // found by a C string, no copy made
};

ProfileCache* sharedCache = nullptr;

// This thread's run of reads; 0 outside one. Numbers are never reused.
std::atomic<uint64_t> lastReadsNumber{0};
thread_local uint64_t currentReads = 0;

// The lock is taken across fork: a child has only the forking thread, so a lock held by
// another thread at that moment would never be released in it.
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

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Everything that a change to a file, or its replacement, alters.
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

// Reads the regular file open on fd, whose state is `info`, into file.
void readInto(int fd, const struct stat& info, CachedFile& file) {
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
    file.state = info;
    file.profile = parseProfileText(std::move(text));
}

// Makes the cached contents match the file that the path names now.
void refresh(const char* path, CachedFile& file) {
    struct stat info {};
    const bool found = stat(path, &info) == 0;
    if (found && file.exists && sameFile(file.state, info)) {
        return;
    }
    file.exists = false;
    file.profile = ParsedProfile();
    if (!found || !S_ISREG(info.st_mode)) {
        return;
    }
    // Opening does not block even if a FIFO has taken the file's place meanwhile, and the
    // fstat tells what was opened.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return;
    }
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        readInto(fd, info, file);
    }
    close(fd);
}

CachedFile& cachedFile(ProfileCache& cache, const char* path) {
    auto found = cache.files.find(path);
    if (found != cache.files.end()) {
        return found->second;
    }
    if (cache.files.size() >= kMaxCachedFiles) {
        cache.files.clear();
    }
    return cache.files.emplace(path, CachedFile()).first->second;
}

}  // namespace

void beginProfileReads() {
    currentReads = ++lastReadsNumber;
}

void endProfileReads() {
    currentReads = 0;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName) {
    if (section == nullptr || key == nullptr || fileName == nullptr || fileName[0] == '\0') {
        return profileStringFrom(nullptr, section, key, defaultValue, returned, size);
    }
    ProfileCache& cache = profileCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    CachedFile& file = cachedFile(cache, fileName);
    if (currentReads == 0 || file.checkedInReads != currentReads) {
        refresh(fileName, file);
        file.checkedInReads = currentReads;
    }
    return profileStringFrom(file.exists ? &file.profile : nullptr, section, key, defaultValue,
                             returned, size);
}
