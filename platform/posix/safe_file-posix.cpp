#include "platform/safe_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/file_target.h"

namespace {

// Twelve letters nobody can know beforehand; should the system's random source fail, the clock
// and a count stand in, since O_EXCL, not the name, is what keeps a planted file out.
std::string randomName() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz234567";
    static unsigned count = 0;
    unsigned char random[12];
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const unsigned long long mixed =
            static_cast<unsigned long long>(now.tv_nsec) * 2654435761u ^ getpid() ^ ++count;
        for (size_t i = 0; i < sizeof random; ++i) {
            random[i] = static_cast<unsigned char>(mixed >> (i * 5));
        }
    }
    std::string name = ".midiparley-";
    for (const unsigned char r : random) {
        name += kLetters[r & 31];
    }
    return name;
}

// A new file in directory under a fresh short name (whatever the target's name's length),
// never one that was there before, nor a link planted at that name. Mode 0666 less the umask,
// as a shell's redirection creates a file.
int createTemporary(const std::string& directory, std::string& path, std::string& reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = directory + "/" + randomName();
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0) {
                failWith(errno, reason);
            }
            return fd;
        }
    }
    failWith(EEXIST, reason);
    return -1;
}

// The replaced file's owner and group where the process may give them (a user may give a file
// to a group of their own), then its permissions, which a change of owner may clear.
bool keepOwnerAndMode(int fd, const struct stat& old, std::string& reason) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Neither is permitted: the file becomes the user's own, as a copy would.
    }
    return fchmod(fd, old.st_mode & 07777) == 0 || failWith(errno, reason);
}

bool writeAll(int fd, const uint8_t* bytes, size_t count, std::string& reason) {
    while (count > 0) {
        const ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return failWith(written < 0 ? errno : EIO, reason);
        }
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

// A reader that went away makes a failed write (EPIPE) with its line, not a process ended by
// SIGPIPE without a word: the signal is held back in this thread and taken away unseen.
bool writeToStream(int fd, const uint8_t* bytes, size_t count, std::string& reason) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool written = writeAll(fd, bytes, count, reason);
    if (!sigismember(&previous, SIGPIPE)) {
        const timespec noWait{};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) > 0) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

// Flushes the file, and the directory that names it, to the disk; a system that cannot flush
// such a file (EINVAL) is taken at its word.
bool flushToDisk(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

}  // namespace

bool checkSafeFileTarget(const std::string& path, std::string& reason) {
    FileTarget target;
    return findFileTarget(path, target, reason) && mayWriteFileTarget(target, reason);
}

bool openSafeFile(const std::string& path, SafeFileWrite& file, std::string& reason) {
    file = SafeFileWrite();
    FileTarget target;
    if (!findFileTarget(path, target, reason) || !mayWriteFileTarget(target, reason)) {
        return false;
    }
    file.targetPath = target.path;
    if (target.kind == FileTargetKind::StandardOutput) {
        // Through standard output's own descriptor, after what it has written so far.
        file.streamed = true;
        file.handle = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        return file.handle >= 0 || failWith(errno, reason);
    }
    if (target.kind == FileTargetKind::Stream) {
        file.streamed = true;
        file.handle = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        struct stat opened;
        if (file.handle < 0 || fstat(static_cast<int>(file.handle), &opened) != 0) {
            const int error = errno;
            discardSafeFile(file);
            return failWith(error, reason);
        }
        if (!S_ISFIFO(opened.st_mode) && !S_ISCHR(opened.st_mode)) {
            // Changed since it was looked at: it is not written unchecked.
            discardSafeFile(file);
            reason = kNotWritableKindReason;
            return false;
        }
        return true;
    }
    file.handle = createTemporary(directoryOf(target.path), file.temporaryPath, reason);
    if (file.handle < 0) {
        file.temporaryPath.clear();
        return false;
    }
    file.replaces = target.kind == FileTargetKind::Regular;
    if (file.replaces && !keepOwnerAndMode(static_cast<int>(file.handle), target.status, reason)) {
        discardSafeFile(file);
        return false;
    }
    return true;
}

bool writeSafeFile(SafeFileWrite& file, const uint8_t* bytes, size_t count, std::string& reason) {
    const int fd = static_cast<int>(file.handle);
    return file.streamed ? writeToStream(fd, bytes, count, reason)
                         : writeAll(fd, bytes, count, reason);
}

bool commitSafeFile(SafeFileWrite& file, std::string& reason) {
    const int fd = static_cast<int>(file.handle);
    file.handle = -1;
    if (file.streamed) {
        return close(fd) == 0 || failWith(errno, reason);
    }
    // Flushed before the rename: a crash then leaves the old contents or the new, whole.
    bool done = flushToDisk(fd) || failWith(errno, reason);
    if (close(fd) != 0 && done) {
        done = failWith(errno, reason);
    }
    if (done && rename(file.temporaryPath.c_str(), file.targetPath.c_str()) != 0) {
        done = failWith(errno, reason);
    }
    if (!done) {
        discardSafeFile(file);
        return false;
    }
    file.temporaryPath.clear();
    const int directory =
        open(directoryOf(file.targetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0 || !flushToDisk(directory)) {
        reason = std::string(std::strerror(errno)) + " (flushing its directory after the rename)";
        if (directory >= 0) {
            close(directory);
        }
        return false;
    }
    close(directory);
    return true;
}

void discardSafeFile(SafeFileWrite& file) {
    if (file.handle >= 0) {
        close(static_cast<int>(file.handle));
    }
    if (!file.temporaryPath.empty()) {
        unlink(file.temporaryPath.c_str());
    }
    file = SafeFileWrite();
}
