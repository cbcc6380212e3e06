// The one header through which the program reaches the operating system. Everything above
// platform/ calls Windows services by their Windows names; on Windows these are the real
// ones, elsewhere the same names are provided by platform/posix/.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the others need its types.
#include <windows.h>

#include <conio.h>
#include <io.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// What the code above takes for granted of the real headers. The program targets 32-bit
// Windows, where winmm expects 64-byte buffer headers.
static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits");
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64, "32-bit MIDIHDR is 64 bytes");

// The separator that path code adds when it joins a directory and a file name.
constexpr char kNativePathSeparator = '\\';
#else
// win_types.h first: the others need its types.
#include "platform/posix/win_types.h"

#include "platform/posix/crt.h"
#include "platform/posix/kernel.h"
#include "platform/posix/user.h"
#include "platform/posix/winmm/winmm.h"

// A backslash is an ordinary file name character here, so joined paths use a slash.
constexpr char kNativePathSeparator = '/';
#endif
