// PostMessageW, PostThreadMessageW, PostQuitMessage and SendMessageW: a posted message goes into
// the queue of the window's thread; a message sent to a window of the calling thread calls its
// procedure at once, one sent to another thread's window waits until that thread has answered it.
#include "user32/thread_queue.h"
#include "user32/window_object.h"

using namespace winlayer;

BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr)
        return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
    std::shared_ptr<ThreadQueue> queue;
    {
        std::lock_guard lock(WindowLock());
        if (Window* window = FindWindowLocked(hwnd))
            queue = window->queue;
    }
    MSG msg{hwnd, message, wParam, lParam, MessageClock(), LastCursorPos()};
    if (!queue || !queue->Post(msg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> queue =
        threadId == GetCurrentThreadId() ? CurrentQueuePtr() : FindQueue(threadId);
    MSG msg{nullptr, message, wParam, lParam, MessageClock(), LastCursorPos()};
    if (!queue || !queue->Post(msg)) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    CurrentQueue().PostQuit(exitCode);
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> queue;
    DWORD threadId = 0;
    {
        std::lock_guard lock(WindowLock());
        Window* window = WindowOrErrorLocked(hwnd);
        if (window == nullptr)
            return 0;
        queue = window->queue;
        threadId = window->threadId;
    }
    if (threadId == GetCurrentThreadId())
        return CallWindowProcedure(hwnd, message, wParam, lParam);
    // Another thread's window: its thread runs the call inside its next Get/PeekMessage.
    auto sent = std::make_shared<SentMessage>();
    sent->msg = MSG{hwnd, message, wParam, lParam, MessageClock(), LastCursorPos()};
    if (!queue->Send(sent))
        return 0;
    std::unique_lock lock(sent->mutex);
    sent->cv.wait(lock, [&] { return sent->done; });
    return sent->result;
}
