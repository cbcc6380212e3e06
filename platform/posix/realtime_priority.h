// The lowest real-time priority (SCHED_FIFO), for the threads that carry MIDI input and paced
// output: they run ahead of a thread that spins waiting for them, and below any audio
// server's threads. Header-only: the MIDI system module, a shared object of its own, uses it
// too.
#pragma once

#include <pthread.h>
#include <sched.h>

// Gives the thread (the calling one unless named) that priority where the system allows it
// (CAP_SYS_NICE, or an RLIMIT_RTPRIO of 1 or more as audio users often have); false where it
// stays as it was.
inline bool takeLowestRealtimePriority(pthread_t thread = pthread_self()) {
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    return pthread_setschedparam(thread, SCHED_FIFO, &priority) == 0;
}
