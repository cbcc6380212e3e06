// Calls into a MIDI system made on a thread of their own, so that the caller can give up on a
// system that does not answer: a JACK server stopped with SIGSTOP blocks its clients forever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

struct BoundedCall;

// The thread the calls run on, one after the other, and the calls waiting for it. Never
// destroyed and its thread never joined: a call that did not answer may still be inside the
// library when the process exits, and must find everything it uses still there.
struct BoundedWorker {
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable finished;
    std::deque<std::shared_ptr<BoundedCall>> calls;
    bool started = false;
};

enum class BoundedEnd {
    Returned,
    Threw,     // the call ran out of memory or threads (an exception left it)
    TimedOut,  // it runs on to its end on the worker, then `late` runs there
};

// Runs `call` on the worker and waits up to `bound` for it. A call that timed out touches
// nothing but what it owns; `late` releases what it made (an opened port). Throws (out of
// memory or threads) only before the call is queued.
BoundedEnd callBounded(BoundedWorker& worker, std::function<void()> call,
                       std::function<void()> late, std::chrono::milliseconds bound);
