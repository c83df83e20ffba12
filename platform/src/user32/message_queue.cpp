// GetMessageW, PeekMessageW, DispatchMessageW and the rest of taking messages. A thread takes, in
// order: messages sent from other threads, posted messages, WM_QUIT once nothing posted waits,
// input, then WM_PAINT, so a burst of posted messages gives one repaint. A waiting thread sleeps in
// poll() on its queue's eventfd and its display connection.
#include "user32/thread_queue.h"

#include "drivers/display_driver.h"
#include "user32/input.h"
#include "user32/window_object.h"

#include <poll.h>

#include <cerrno>

namespace winlayer {
namespace {

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(-1);

// The filter's window and its descendants; false when the window does not exist.
bool BuildFilter(HWND hwnd, UINT min, UINT max, MessageFilter* filter) {
    filter->min = min;
    filter->max = max;
    if (hwnd == nullptr)
        return true;
    filter->anyWindow = false;
    if (hwnd == kThreadMessagesOnly) {
        filter->anyWindow = true;
        filter->threadOnly = true;
        return true;
    }
    std::lock_guard lock(WindowLock());
    if (FindWindowLocked(hwnd) == nullptr)
        return false;
    std::vector<HWND> pending{hwnd};
    while (!pending.empty()) {
        HWND next = pending.back();
        pending.pop_back();
        filter->windows.push_back(next);
        if (Window* window = FindWindowLocked(next))
            pending.insert(pending.end(), window->children.begin(), window->children.end());
    }
    return true;
}

void ProcessSent(ThreadQueue& queue) {
    while (std::shared_ptr<SentMessage> sent = queue.TakeSent()) {
        const MSG& m = sent->msg;
        sent->Answer(CallWindowProcedure(m.hwnd, m.message, m.wParam, m.lParam));
    }
}

bool TakeOne(ThreadQueue& queue, const MessageFilter& filter, bool remove, MSG* msg) {
    ProcessSent(queue);
    bool found = queue.TakePosted(filter, remove, msg) || queue.TakeQuit(remove, msg);
    if (!found && queue.TakeInput(filter, remove, msg)) {
        found = true;
        if (remove)
            NoteInputTaken(*msg);
    }
    if (!found) {
        ProcessSent(queue);
        found = queue.TakePaint(filter, msg);
    }
    if (found && remove)
        NoteMessageTaken(*msg);
    return found;
}

bool Retrieve(MSG* msg, const MessageFilter& filter, bool remove, bool block) {
    ThreadQueue& queue = CurrentQueue();
    DisplayDriver& display = Display();
    for (;;) {
        queue.DrainWakeups();
        if (TakeOne(queue, filter, remove, msg))
            return true;
        display.ProcessEvents(InputSink());
        if (TakeOne(queue, filter, remove, msg))
            return true;
        if (!block)
            return false;
        display.Flush();
        pollfd fds[2] = {{queue.eventFd(), POLLIN, 0}, {display.ThreadFd(), POLLIN, 0}};
        queue.EnterWait();
        while (poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0 && errno == EINTR) {
        }
        queue.LeaveWait();
    }
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    MessageFilter filter;
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!BuildFilter(hwnd, filterMin, filterMax, &filter)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Retrieve(msg, filter, true, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    MessageFilter filter;
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!BuildFilter(hwnd, filterMin, filterMax, &filter)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Retrieve(msg, filter, (remove & PM_REMOVE) != 0, false) ? TRUE : FALSE;
}

BOOL WINAPI WaitMessage() {
    MSG msg;
    Retrieve(&msg, MessageFilter{}, false, true);
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (msg->hwnd == nullptr)
        return 0;
    if (!WindowOrError(msg->hwnd))
        return 0;
    return CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    // Key presses would become WM_CHAR here; the layer has no keyboard input.
    if (msg == nullptr)
        return FALSE;
    return msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN ? TRUE : FALSE;
}

DWORD WINAPI GetMessagePos() {
    POINT pt = LastMessagePos();
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)));
}

LONG WINAPI GetMessageTime() {
    return static_cast<LONG>(LastMessageTime());
}
