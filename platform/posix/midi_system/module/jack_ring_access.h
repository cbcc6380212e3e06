// Marks a copy into or out of one of libjack's lock-free ring buffers, or the freeing of one.
// Their writer and reader are ordered by memory barriers and JACK's process cycles inside the
// uninstrumented library, which ThreadSanitizer cannot see, so it takes the bytes for a race.
// Reporting one, even one it then suppresses, holds the thread for seconds while the stacks are
// symbolized, and on JACK's process thread that holds up every client of a synchronous server;
// so these accesses are hidden from it.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

struct JackRingAccess {
    JackRingAccess() { __tsan_ignore_thread_begin(); }
    ~JackRingAccess() { __tsan_ignore_thread_end(); }
    JackRingAccess(const JackRingAccess&) = delete;
    JackRingAccess& operator=(const JackRingAccess&) = delete;
};
#else
struct JackRingAccess {
    JackRingAccess() {}  // user-provided: a guard that is only declared is no unused variable
};
#endif
