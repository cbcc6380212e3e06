#include "platform/posix/midi_system/module/bounded_call.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct Call {
    std::function<void()> run;
    std::function<void()> undo;
    bool done = false;
    bool abandoned = false;
};

// Never destroyed and its thread never joined: a call that did not answer may still be
// inside the library when the process exits, and must find everything it uses still there.
struct Caller {
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable finished;
    std::deque<std::shared_ptr<Call>> calls;
    bool started = false;
};

Caller& caller() {
    static Caller* shared = new Caller;
    return *shared;
}

void runCalls(Caller* shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->work.wait(lock, [shared] { return !shared->calls.empty(); });
        std::shared_ptr<Call> call = shared->calls.front();
        shared->calls.pop_front();
        lock.unlock();
        call->run();
        lock.lock();
        call->done = true;
        shared->finished.notify_all();
        if (call->abandoned && call->undo) {
            lock.unlock();
            call->undo();
            lock.lock();
        }
    }
}

}  // namespace

bool callBounded(std::function<void()> run, std::function<void()> undo,
                 std::chrono::milliseconds bound) {
    Caller& shared = caller();
    auto call = std::make_shared<Call>();
    call->run = std::move(run);
    call->undo = std::move(undo);
    std::unique_lock<std::mutex> lock(shared.mutex);
    if (!shared.started) {
        std::thread(runCalls, &shared).detach();
        shared.started = true;
    }
    shared.calls.push_back(call);
    shared.work.notify_one();
    if (shared.finished.wait_for(lock, bound, [&call] { return call->done; })) {
        return true;
    }
    call->abandoned = true;
    return false;
}
