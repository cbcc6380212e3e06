// The calling thread's last-error value, shared by the POSIX side of the Windows services.
#pragma once

#include "platform/posix/win_types.h"

// Error codes beyond those kernel.h exports, used only inside this layer.
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_INVALID_PARAMETER 87
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_INVALID_THREAD_ID 1444

// What GetLastError will report on this thread.
void setLastError(DWORD error);
