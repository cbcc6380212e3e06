// user32's thread message queue on POSIX. There are no windows: every message is a thread
// message with no window handle.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/posix/last_error.h"
#include "platform/windows_api.h"

namespace {

struct MessageQueue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<MSG> posted;
    // PostQuitMessage only raises a flag: the quit comes out once nothing else matches.
    bool quitRequested = false;
    int quitCode = 0;
};

// Queues by thread id. A thread's queue exists from its first call into this file until the
// thread ends, as on Windows, so posting to a thread that never asked for messages fails.
struct QueueRegistry {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
};

// Never destroyed: threads may still post or end while the process exits.
QueueRegistry& registry() {
    static QueueRegistry* queues = new QueueRegistry;
    return *queues;
}

// Registers the thread's queue on first use and removes it when the thread ends.
struct OwnQueue {
    DWORD threadId;
    std::shared_ptr<MessageQueue> queue;

    OwnQueue() : threadId(GetCurrentThreadId()), queue(std::make_shared<MessageQueue>()) {
        QueueRegistry& all = registry();
        std::lock_guard<std::mutex> guard(all.lock);
        all.queues[threadId] = queue;
    }
    ~OwnQueue() {
        QueueRegistry& all = registry();
        std::lock_guard<std::mutex> guard(all.lock);
        auto found = all.queues.find(threadId);
        if (found != all.queues.end() && found->second == queue) {
            all.queues.erase(found);
        }
    }
};

MessageQueue& ownQueue() {
    thread_local OwnQueue own;
    return *own.queue;
}

std::shared_ptr<MessageQueue> queueOf(DWORD threadId) {
    QueueRegistry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.queues.find(threadId);
    return found == all.queues.end() ? nullptr : found->second;
}

// Only thread messages exist: NULL (everything) and -1 (thread messages) name them.
bool isThreadTarget(HWND window) {
    return window == nullptr || window == reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
}

// 0..0 takes every message, and WM_QUIT passes any filter.
bool passesFilter(UINT message, UINT filterMin, UINT filterMax) {
    if ((filterMin == 0 && filterMax == 0) || message == WM_QUIT) {
        return true;
    }
    return message >= filterMin && message <= filterMax;
}

MSG makeMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = nullptr;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

// The next message for the filter, taken out when remove is set. Caller holds queue.lock.
bool takeMessage(MessageQueue& queue, LPMSG msg, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (passesFilter(it->message, filterMin, filterMax)) {
            *msg = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            return true;
        }
    }
    if (queue.quitRequested) {
        *msg = makeMessage(WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) {
            queue.quitRequested = false;
        }
        return true;
    }
    return false;
}

}  // namespace

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    MessageQueue& queue = ownQueue();
    if (msg == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!isThreadTarget(window)) {
        setLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(queue.lock);
    return takeMessage(queue, msg, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE
                                                                                         : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    MessageQueue& queue = ownQueue();
    if (msg == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!isThreadTarget(window)) {
        setLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    std::unique_lock<std::mutex> guard(queue.lock);
    queue.arrived.wait(guard, [&] { return takeMessage(queue, msg, filterMin, filterMax, true); });
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    (void)msg;
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    (void)msg;
    return 0;
}

void PostQuitMessage(int exitCode) {
    MessageQueue& queue = ownQueue();
    {
        std::lock_guard<std::mutex> guard(queue.lock);
        queue.quitRequested = true;
        queue.quitCode = exitCode;
    }
    queue.arrived.notify_all();
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    ownQueue();  // posting to oneself works even before the first look at the queue
    std::shared_ptr<MessageQueue> queue = queueOf(threadId);
    if (!queue) {
        setLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->posted.push_back(makeMessage(message, wParam, lParam));
    }
    queue->arrived.notify_all();
    return TRUE;
}
