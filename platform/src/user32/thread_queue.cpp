// The per-thread message queue: posted, input and sent messages, paint and quit flags, an eventfd
// that wakes the owning thread, the idle state that tests wait for, and the time and pointer
// position a new message carries.
#include "user32/thread_queue.h"

#include "user32/window_object.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>

namespace winlayer {
namespace {

struct QueueRegistry {
    std::mutex mutex;
    std::map<DWORD, std::weak_ptr<ThreadQueue>> queues;
};

QueueRegistry& Registry() {
    static QueueRegistry* registry = new QueueRegistry;  // outlives thread-exit clean-up
    return *registry;
}

struct IdleWatch {
    std::mutex mutex;
    std::condition_variable cv;
    unsigned long generation = 0;
};

IdleWatch& Idle() {
    static IdleWatch* watch = new IdleWatch;
    return *watch;
}

// Owns the calling thread's queue; at thread exit its windows end and the queue closes.
struct ThreadQueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~ThreadQueueHolder() {
        if (!queue)
            return;
        ForgetWindowsOfThread(queue->threadId());
        queue->Close();
        std::lock_guard lock(Registry().mutex);
        Registry().queues.erase(queue->threadId());
    }
};

thread_local ThreadQueueHolder currentQueue;

// x in the high half, y in the low one: one load reads a consistent pair.
std::atomic<uint64_t> lastCursor{0};

}  // namespace

void SentMessage::Answer(LRESULT value) {
    std::lock_guard lock(mutex);
    if (done)
        return;
    result = value;
    done = true;
    cv.notify_all();
}

bool MessageFilter::Accepts(const MSG& msg) const {
    if (threadOnly && msg.hwnd != nullptr)
        return false;
    if (!anyWindow && std::find(windows.begin(), windows.end(), msg.hwnd) == windows.end())
        return false;
    if (min == 0 && max == 0)
        return true;
    return msg.message >= min && msg.message <= max;
}

ThreadQueue::ThreadQueue(DWORD threadId) : threadId_(threadId) {
    eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ThreadQueue::~ThreadQueue() {
    Close();
    if (eventFd_ >= 0)
        close(eventFd_);
}

void ThreadQueue::WakeLocked() {
    // One write per wake-up: the owner drains the eventfd before it looks at the queue.
    if (!signaled_ && eventFd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(eventFd_, &one, sizeof one);
        signaled_ = true;
    }
}

bool ThreadQueue::Post(const MSG& msg) {
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    posted_.push_back(msg);
    WakeLocked();
    return true;
}

void ThreadQueue::PostInput(const MSG& msg) {
    std::lock_guard lock(mutex_);
    if (closed_)
        return;
    if (msg.message == WM_MOUSEMOVE && !input_.empty() && input_.back().message == WM_MOUSEMOVE &&
        input_.back().hwnd == msg.hwnd) {
        input_.back() = msg;
    } else {
        input_.push_back(msg);
    }
    WakeLocked();
}

bool ThreadQueue::Send(const std::shared_ptr<SentMessage>& sent) {
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    sent_.push_back(sent);
    WakeLocked();
    return true;
}

void ThreadQueue::PostQuit(int exitCode) {
    std::lock_guard lock(mutex_);
    quit_ = true;
    quitCode_ = exitCode;
    WakeLocked();
}

void ThreadQueue::SetPaintDue(HWND hwnd, bool due) {
    std::lock_guard lock(mutex_);
    if (due) {
        paintDue_.insert(hwnd);
        WakeLocked();
    } else {
        paintDue_.erase(hwnd);
    }
}

void ThreadQueue::PurgeWindow(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto forWindow = [hwnd](const MSG& msg) { return msg.hwnd == hwnd; };
    posted_.erase(std::remove_if(posted_.begin(), posted_.end(), forWindow), posted_.end());
    input_.erase(std::remove_if(input_.begin(), input_.end(), forWindow), input_.end());
    paintDue_.erase(hwnd);
}

void ThreadQueue::Close() {
    std::deque<std::shared_ptr<SentMessage>> unanswered;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        unanswered.swap(sent_);
        posted_.clear();
        input_.clear();
        paintDue_.clear();
    }
    for (auto& sent : unanswered)
        sent->Answer(0);
}

std::shared_ptr<SentMessage> ThreadQueue::TakeSent() {
    std::lock_guard lock(mutex_);
    if (sent_.empty())
        return nullptr;
    std::shared_ptr<SentMessage> sent = std::move(sent_.front());
    sent_.pop_front();
    return sent;
}

bool ThreadQueue::TakePosted(const MessageFilter& filter, bool remove, MSG* msg) {
    std::lock_guard lock(mutex_);
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!filter.Accepts(*it))
            continue;
        *msg = *it;
        if (remove)
            posted_.erase(it);
        return true;
    }
    return false;
}

bool ThreadQueue::TakeQuit(bool remove, MSG* msg) {
    std::lock_guard lock(mutex_);
    // Windows hands out WM_QUIT once no posted message waits, whatever the filter.
    if (!quit_ || !posted_.empty())
        return false;
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, MessageClock(), {}};
    if (remove)
        quit_ = false;
    return true;
}

bool ThreadQueue::TakeInput(const MessageFilter& filter, bool remove, MSG* msg) {
    std::lock_guard lock(mutex_);
    for (auto it = input_.begin(); it != input_.end(); ++it) {
        if (!filter.Accepts(*it))
            continue;
        *msg = *it;
        if (remove)
            input_.erase(it);
        return true;
    }
    return false;
}

bool ThreadQueue::TakePaint(const MessageFilter& filter, MSG* msg) {
    std::lock_guard lock(mutex_);
    for (HWND hwnd : paintDue_) {
        MSG paint{hwnd, WM_PAINT, 0, 0, MessageClock(), {}};
        if (filter.Accepts(paint)) {
            *msg = paint;
            return true;
        }
    }
    return false;
}

bool ThreadQueue::HasInput(UINT message) {
    std::lock_guard lock(mutex_);
    return std::any_of(input_.begin(), input_.end(),
                       [message](const MSG& m) { return m.message == message; });
}

bool ThreadQueue::PendingLocked() const {
    return !posted_.empty() || !input_.empty() || !sent_.empty() || quit_ || !paintDue_.empty();
}

void ThreadQueue::EnterWait() {
    {
        std::lock_guard lock(mutex_);
        waiting_ = true;
    }
    NotifyIdleWatchers();
}

void ThreadQueue::LeaveWait() {
    std::lock_guard lock(mutex_);
    waiting_ = false;
}

void ThreadQueue::DrainWakeups() {
    std::lock_guard lock(mutex_);
    uint64_t count = 0;
    while (read(eventFd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
    }
    signaled_ = false;
}

bool ThreadQueue::IsIdle() {
    std::lock_guard lock(mutex_);
    return waiting_ && !PendingLocked();
}

ThreadQueue& CurrentQueue() {
    return *CurrentQueuePtr();
}

std::shared_ptr<ThreadQueue> CurrentQueuePtr() {
    if (!currentQueue.queue) {
        DWORD id = GetCurrentThreadId();
        currentQueue.queue = std::make_shared<ThreadQueue>(id);
        std::lock_guard lock(Registry().mutex);
        Registry().queues[id] = currentQueue.queue;
    }
    return currentQueue.queue;
}

std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId) {
    std::lock_guard lock(Registry().mutex);
    auto it = Registry().queues.find(threadId);
    return it == Registry().queues.end() ? nullptr : it->second.lock();
}

DWORD MessageClock() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetLastCursorPos(POINT screen) {
    lastCursor.store((static_cast<uint64_t>(static_cast<uint32_t>(screen.x)) << 32) |
                     static_cast<uint32_t>(screen.y));
}

POINT LastCursorPos() {
    uint64_t packed = lastCursor.load();
    return POINT{static_cast<LONG>(static_cast<int32_t>(packed >> 32)),
                 static_cast<LONG>(static_cast<int32_t>(packed & 0xFFFFFFFFu))};
}

void NotifyIdleWatchers() {
    IdleWatch& watch = Idle();
    {
        std::lock_guard lock(watch.mutex);
        ++watch.generation;
    }
    watch.cv.notify_all();
}

bool WaitForThreadIdle(DWORD threadId, DWORD timeoutMs, bool (*alsoIdle)(DWORD)) {
    IdleWatch& watch = Idle();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(watch.mutex);
    for (;;) {
        unsigned long seen = watch.generation;
        lock.unlock();
        std::shared_ptr<ThreadQueue> queue = FindQueue(threadId);
        bool idle = queue && queue->IsIdle() && (alsoIdle == nullptr || alsoIdle(threadId));
        lock.lock();
        if (idle)
            return true;
        if (!watch.cv.wait_until(lock, deadline, [&] { return watch.generation != seen; }))
            return false;
    }
}

}  // namespace winlayer
