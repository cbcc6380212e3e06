#include "platform/posix/file_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/safe_file.h"

namespace {

// Follows the links path ends in to the name that is no link. That name may not exist yet: a
// link to a file still to be made gets the file, as a shell's redirection would make it.
bool followLinks(std::string path, std::string& final, std::string& reason) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            final = path;
            return true;
        }
        char text[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), text, sizeof text);
        if (length < 0 || static_cast<size_t>(length) == sizeof text) {
            return failWith(length < 0 ? errno : ENAMETOOLONG, reason);
        }
        const std::string link(text, static_cast<size_t>(length));
        path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
    }
    return failWith(ELOOP, reason);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool failWith(int error, std::string& reason) {
    reason = std::strerror(error);
    return false;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The system resolves /dev/stdout and its kin itself, so they are asked about whole before
// links are followed by hand.
bool findFileTarget(const std::string& path, FileTarget& target, std::string& reason) {
    if (path.empty()) {
        return failWith(ENOENT, reason);
    }
    if (stat(path.c_str(), &target.status) != 0) {
        if (errno != ENOENT) {
            return failWith(errno, reason);
        }
        target.kind = FileTargetKind::Missing;
        return followLinks(path, target.path, reason);
    }
    const mode_t mode = target.status.st_mode;
    struct stat standardOutput;
    if (S_ISREG(mode) && fstat(STDOUT_FILENO, &standardOutput) == 0 &&
        sameFile(standardOutput, target.status)) {
        // Replacing it would leave standard output writing to a file no longer there.
        target.kind = FileTargetKind::StandardOutput;
        target.path = path;
        return true;
    }
    if (S_ISREG(mode)) {
        target.kind = FileTargetKind::Regular;
        return followLinks(path, target.path, reason);
    }
    if (S_ISFIFO(mode) || S_ISCHR(mode)) {
        target.kind = FileTargetKind::Stream;
        target.path = path;
        return true;
    }
    if (S_ISDIR(mode)) {
        return failWith(EISDIR, reason);
    }
    reason = kNotWritableKindReason;
    return false;
}

// The effective ids count, as they do for open.
bool mayWriteFileTarget(const FileTarget& target, std::string& reason) {
    if (target.kind == FileTargetKind::StandardOutput) {
        return true;
    }
    if (target.kind != FileTargetKind::Missing &&
        faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
        return failWith(errno, reason);
    }
    if (target.kind != FileTargetKind::Stream &&
        faccessat(AT_FDCWD, directoryOf(target.path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        return failWith(errno, reason);
    }
    return true;
}
