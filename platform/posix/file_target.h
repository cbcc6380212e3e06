// What a path given for writing names, for the safe writer (platform/safe_file.h): the kind
// of file, the links it ends in followed, and whether the user may write it as a shell's
// redirection may.
#pragma once

#include <sys/stat.h>

#include <string>

enum class FileTargetKind {
    Missing,         // nothing there yet: a new file
    Regular,         // a regular file, replaced whole
    StandardOutput,  // the regular file standard output writes to: written through it
    Stream,          // a FIFO or a character device: written straight
};

struct FileTarget {
    FileTargetKind kind = FileTargetKind::Missing;
    std::string path;         // the name written, or replaced: the links it ends in followed
    struct stat status = {};  // of an existing target
};

// Sets reason to the C runtime's text for error; false.
bool failWith(int error, std::string& reason);

// The directory part of path: "." for a bare name.
std::string directoryOf(const std::string& path);

// What path names. A directory, or a file of a kind that cannot be written, is a failure.
bool findFileTarget(const std::string& path, FileTarget& target, std::string& reason);

// Whether the user may write the file itself and, for a file made or replaced, create files
// in its directory.
bool mayWriteFileTarget(const FileTarget& target, std::string& reason);
