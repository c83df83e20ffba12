// One message queue per thread. Any thread may post into a queue; only its own thread takes from
// it. The queue's lock is a leaf: nothing else is locked while it is held (WindowLock() may be
// held when it is taken).
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace winlayer {

// A message sent from another thread; the sender waits until `done`.
struct SentMessage {
    MSG msg{};
    LRESULT result = 0;
    bool done = false;
    std::mutex mutex;
    std::condition_variable cv;
    void Answer(LRESULT value);
};

// Which messages a Get/Peek call takes: windows (empty and !threadOnly: any), message range.
struct MessageFilter {
    bool anyWindow = true;
    bool threadOnly = false;    // window filter (HWND)-1: thread messages only
    std::vector<HWND> windows;  // the filter's window and its descendants
    UINT min = 0;
    UINT max = 0;
    bool Accepts(const MSG& msg) const;
};

class ThreadQueue {
  public:
    explicit ThreadQueue(DWORD threadId);
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    DWORD threadId() const { return threadId_; }
    int eventFd() const { return eventFd_; }

    // Any thread. False once the thread has ended.
    bool Post(const MSG& msg);
    // Input from the display; a mouse move replaces a mouse move for the same window queued last.
    void PostInput(const MSG& msg);
    bool Send(const std::shared_ptr<SentMessage>& sent);
    void PostQuit(int exitCode);
    void SetPaintDue(HWND hwnd, bool due);
    // Drops the queued messages of a window that is gone.
    void PurgeWindow(HWND hwnd);
    // Answers what waits and refuses anything more (the thread is ending).
    void Close();

    // Owning thread.
    std::shared_ptr<SentMessage> TakeSent();
    bool TakePosted(const MessageFilter& filter, bool remove, MSG* msg);
    bool TakeQuit(bool remove, MSG* msg);
    bool TakeInput(const MessageFilter& filter, bool remove, MSG* msg);
    bool TakePaint(const MessageFilter& filter, MSG* msg);
    // A queued WM_LBUTTONUP, for the move loop's start.
    bool HasInput(UINT message);
    // The owner is blocked in its wait (tests see it idle when nothing is pending).
    void EnterWait();
    void LeaveWait();
    // Clears the eventfd; done before each look at the queue, so a later post wakes the wait.
    void DrainWakeups();

    // Any thread: blocked in its wait with nothing pending, no paint due.
    bool IsIdle();

  private:
    bool PendingLocked() const;
    void WakeLocked();

    const DWORD threadId_;
    int eventFd_ = -1;
    std::mutex mutex_;
    std::deque<MSG> posted_;
    std::deque<MSG> input_;
    std::deque<std::shared_ptr<SentMessage>> sent_;
    std::set<HWND> paintDue_;  // by handle value: creation order, parents before children
    bool quit_ = false;
    int quitCode_ = 0;
    bool waiting_ = false;
    bool signaled_ = false;  // the eventfd holds a wake-up
    bool closed_ = false;
};

// The calling thread's queue, made on first use and closed when the thread ends.
ThreadQueue& CurrentQueue();
std::shared_ptr<ThreadQueue> CurrentQueuePtr();
std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId);

// Milliseconds of a monotonic clock, for MSG::time.
DWORD MessageClock();
// The pointer position last reported by the display (screen coordinates), for MSG::pt; any thread.
POINT LastCursorPos();
void SetLastCursorPos(POINT screen);

// Waits until the thread is idle (see ThreadQueue::IsIdle) and `alsoIdle` holds, or the timeout
// passes; the check reruns whenever any queue enters its wait.
bool WaitForThreadIdle(DWORD threadId, DWORD timeoutMs, bool (*alsoIdle)(DWORD threadId));
// Any state change that WaitForThreadIdle may wait on.
void NotifyIdleWatchers();

}  // namespace winlayer
