// Kernel services: tick counter, the executable's own path, long path names, the profile
// (INI file) reader and global memory blocks.
#pragma once

#include "platform/posix/win_types.h"

#define GMEM_FIXED 0x0000
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INSUFFICIENT_BUFFER 122

// Milliseconds from a monotonic clock; 32 bits, wrapping after about 49.7 days.
DWORD GetTickCount(void);
// NULL gives the executable's own module; any other name is not supported and gives NULL.
HMODULE GetModuleHandleA(LPCSTR moduleName);
// The executable's real path. On truncation the text is cut, NUL-terminated, and the result
// is the buffer size (with ERROR_INSUFFICIENT_BUFFER), as current Windows does.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// Success (the length) with the path as given when it exists; 0 when it does not. When the
// buffer is too small, the needed size (terminator included) and nothing written.
DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName);
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
// NULL on success, the handle when it could not be freed.
HGLOBAL GlobalFree(HGLOBAL memory);
DWORD GetLastError(void);
DWORD GetCurrentThreadId(void);
