// Writing a file without harming what is there. A regular file (or a new one) is written to a
// temporary file created afresh beside it, flushed to the disk and renamed over it, so the old
// contents stay whole until the new ones are complete; it keeps its permissions, and a file the
// user may not write is refused as a shell's redirection would refuse it. A link is followed
// and its final target replaced; the link stays. A FIFO, a character device or standard output
// is written straight through. Anything else (a directory, a block device, a socket) is refused.
// On failure `reason` says why in the C runtime's words ("No such file or directory").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The reason given for a directory's kin that is no directory: a block device, a socket.
constexpr char kNotWritableKindReason[] = "not a regular file, FIFO or character device";

// One write in progress, from openSafeFile to commitSafeFile or discardSafeFile.
struct SafeFileWrite {
    intptr_t handle = -1;       // the open descriptor (POSIX) or HANDLE (Windows)
    bool streamed = false;      // written straight to the target: nothing to rename
    bool replaces = false;      // an existing file is replaced
    std::string temporaryPath;  // the new contents until the commit; empty when streamed
    std::string targetPath;     // the name the temporary file takes, links followed
};

// Whether path could be written now, without creating or changing anything: for a check
// before work that would be lost if the file could not be written at its end.
bool checkSafeFileTarget(const std::string& path, std::string& reason);

// Opens path for a write (the checks of checkSafeFileTarget made again).
bool openSafeFile(const std::string& path, SafeFileWrite& file, std::string& reason);

// Appends count bytes; a short write is a failure.
bool writeSafeFile(SafeFileWrite& file, const uint8_t* bytes, size_t count, std::string& reason);

// Makes the bytes written the target's contents, flushed to the disk. On failure the target
// is as it was (short of a failure after the rename, which reason then names) and no
// temporary file is left.
bool commitSafeFile(SafeFileWrite& file, std::string& reason);

// Ends a write without touching the target; the temporary file is removed.
void discardSafeFile(SafeFileWrite& file);
