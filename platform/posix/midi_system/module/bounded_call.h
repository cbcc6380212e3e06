// Calls into a MIDI system made on a thread of their own, so that the caller can give up on a
// system that does not answer: a JACK server stopped with SIGSTOP blocks its clients forever.
#pragma once

#include <chrono>
#include <functional>

// Runs `call` on the calling thread of the module and waits up to `bound` for it. False when
// it did not return in time: it then runs on to its end on that thread, touching nothing but
// what it owns, and `undo` runs after it to release what it made (an opened port).
bool callBounded(std::function<void()> call, std::function<void()> undo,
                 std::chrono::milliseconds bound);
