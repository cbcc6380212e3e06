// Where the settings file lives (beside the executable, not in the current directory) and the
// path helpers around it. Separators are backslash, slash and the drive colon.
#pragma once

#include <string>

// The full path of name in the directory of the running executable; the directory itself,
// with its trailing separator, when name is empty.
std::string settingsFilePath(const std::string& name);

// Everything up to and including the last backslash, slash or colon; empty without one.
std::string pathDirectory(const std::string& path);

// The long-name, absolute form of path with "." and ".." resolved; path itself when no
// better form fits the 1024-byte work buffers.
std::string normalizePath(const std::string& path);

// name inside directory, with exactly one separator between them. An absolute name is
// returned as it is.
std::string joinPath(const std::string& directory, const std::string& name);

// Appends the platform's separator unless text is empty or already ends in a separator.
void ensureTrailingSeparator(std::string& text);

// C:\x, C:x, \x, \\server\share and /x are absolute; x\y and the empty text are not.
bool isAbsolutePath(const std::string& path);
