#include "platform/posix/midi_system/module/bounded_call.h"

#include <thread>

struct BoundedCall {
    std::function<void()> run;
    std::function<void()> late;
    bool done = false;
    bool threw = false;
    bool abandoned = false;
};

namespace {

void runCalls(BoundedWorker* worker) {
    std::unique_lock<std::mutex> lock(worker->mutex);
    for (;;) {
        worker->work.wait(lock, [worker] { return !worker->calls.empty(); });
        std::shared_ptr<BoundedCall> call = worker->calls.front();
        worker->calls.pop_front();
        lock.unlock();
        bool threw = false;
        try {
            call->run();
        } catch (...) {
            threw = true;  // an exception leaving this thread would end the process
        }
        lock.lock();
        call->done = true;
        call->threw = threw;
        worker->finished.notify_all();
        if (call->abandoned && call->late) {
            lock.unlock();
            try {
                call->late();
            } catch (...) {
            }
            lock.lock();
        }
    }
}

}  // namespace

BoundedEnd callBounded(BoundedWorker& worker, std::function<void()> run, std::function<void()> late,
                       std::chrono::milliseconds bound) {
    auto call = std::make_shared<BoundedCall>();
    call->run = std::move(run);
    call->late = std::move(late);
    std::unique_lock<std::mutex> lock(worker.mutex);
    if (!worker.started) {
        std::thread(runCalls, &worker).detach();
        worker.started = true;
    }
    worker.calls.push_back(call);
    worker.work.notify_one();
    if (!worker.finished.wait_for(lock, bound, [&call] { return call->done; })) {
        call->abandoned = true;
        return BoundedEnd::TimedOut;
    }
    return call->threw ? BoundedEnd::Threw : BoundedEnd::Returned;
}
