// The Microsoft C runtime extensions that the program uses.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/win_types.h"

// Absolute form of a path against the current directory, "." and ".." resolved, slash
// separators. NULL when the result does not fit in maxLength bytes (terminator included).
char* _fullpath(char* absPath, const char* relPath, size_t maxLength);
// 0 on success; on failure (null arguments, no room) dest becomes empty when it can be.
errno_t strcpy_s(char* dest, size_t destSize, const char* src);
// Formats into buffer; -1 and an empty buffer when the text does not fit.
int sprintf_s(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// One key from the console without echo and without waiting for Enter; from standard input
// when it is not a terminal. -1 (EOF) when no more input can come.
int _getch(void);
// Whether the descriptor is a terminal (non-zero) and the descriptor of a stream.
int _isatty(int fd);
int _fileno(FILE* stream);
