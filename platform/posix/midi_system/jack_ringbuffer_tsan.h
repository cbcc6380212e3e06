// Included by one file of each executable that may open JACK ports: ours pass bytes through
// libjack's lock-free ring buffer, whose memory barriers sit in the uninstrumented library
// where the thread sanitizer cannot see them.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:jack_ringbuffer_\n";
}
#endif
