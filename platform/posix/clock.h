// The one millisecond clock behind GetTickCount and timeGetTime, so that times taken with
// either can be compared.
#pragma once

#include "platform/posix/win_types.h"

// Milliseconds from CLOCK_MONOTONIC, cut to 32 bits (wraps after about 49.7 days).
DWORD monotonicMilliseconds();
