// Input: display events become mouse messages of the window under the pointer or of the window
// that captured it; capture, leave tracking (TrackMouseEvent), the cursor and the key state.
// Capture, tracking and key state belong to the thread, as Windows keeps them per input queue.
#include "user32/input.h"

#include "user32/painting.h"
#include "user32/thread_queue.h"
#include "user32/window_object.h"

namespace winlayer {
namespace {

struct InputState {
    UINT keys = 0;  // MK_ flags as of the input message taken last
    POINT messagePos{};
    DWORD messageTime = 0;
    HWND capture = nullptr;
    HWND tracked = nullptr;  // TME_LEAVE
    HCURSOR cursor = nullptr;
};

thread_local InputState input;

void LeaveTracked() {
    HWND tracked = input.tracked;
    input.tracked = nullptr;
    if (tracked != nullptr)
        PostMessageW(tracked, WM_MOUSELEAVE, 0, 0);
}

// Queues a mouse message for the capturing window, else the deepest window under the pointer.
void Route(HWND topLevel, UINT message, POINT screen, UINT keys) {
    SetLastCursorPos(screen);
    HWND target = nullptr;
    POINT client{};
    bool insideClient = false;
    std::shared_ptr<ThreadQueue> queue;
    {
        std::lock_guard lock(WindowLock());
        Window* window = input.capture ? FindWindowLocked(input.capture) : nullptr;
        if (window == nullptr) {
            Window* top = FindWindowLocked(topLevel);
            if (top == nullptr)
                return;
            window = FindWindowLocked(DeepestChildAtLocked(top, screen));
        }
        target = window->hwnd;
        POINT origin = ClientOriginOnScreen(window);
        client = POINT{screen.x - origin.x, screen.y - origin.y};
        insideClient = client.x >= 0 && client.y >= 0 &&
                       client.x < window->client.right - window->client.left &&
                       client.y < window->client.bottom - window->client.top;
        queue = window->queue;
    }
    if (input.tracked != nullptr && (input.tracked != target || !insideClient))
        LeaveTracked();
    queue->PostInput(MSG{target, message, keys,
                         MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y)),
                         MessageClock(), screen});
}

class InputEvents : public EventSink {
  public:
    void PointerMoved(HWND window, POINT screen, UINT keys) override {
        Route(window, WM_MOUSEMOVE, screen, keys);
    }
    void ButtonChanged(HWND window, UINT message, POINT screen, UINT keys) override {
        Route(window, message, screen, keys);
    }
    void PointerLeft(HWND window) override {
        if (input.capture != nullptr || input.tracked == nullptr)
            return;
        if (input.tracked == window || IsChild(window, input.tracked))
            LeaveTracked();
    }
    void Exposed(HWND window, const RECT& area) override { PresentWindowArea(window, area); }
    void Moved(HWND window, const RECT& rect) override { MoveFromDisplay(window, rect); }
    void DisplayLost() override { PostQuitMessage(0); }
    // As Windows delivers the system's close (Alt+F4, the task bar's close): a posted
    // WM_SYSCOMMAND SC_CLOSE, which DefWindowProcW turns into WM_CLOSE.
    void CloseRequested(HWND window) override { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }
};

SHORT KeyState(UINT keys, int virtualKey, SHORT down) {
    UINT flag = 0;
    switch (virtualKey) {
        case VK_LBUTTON:
            flag = MK_LBUTTON;
            break;
        case VK_RBUTTON:
            flag = MK_RBUTTON;
            break;
        case VK_MBUTTON:
            flag = MK_MBUTTON;
            break;
        case VK_SHIFT:
            flag = MK_SHIFT;
            break;
        case VK_CONTROL:
            flag = MK_CONTROL;
            break;
        default:
            return 0;
    }
    return (keys & flag) ? down : 0;
}

}  // namespace

EventSink& InputSink() {
    static InputEvents sink;
    return sink;
}

POINT LastMessagePos() {
    return input.messagePos;
}

DWORD LastMessageTime() {
    return input.messageTime;
}

void NoteInputTaken(const MSG& msg) {
    if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST)
        input.keys = static_cast<UINT>(msg.wParam);
}

void NoteMessageTaken(const MSG& msg) {
    input.messagePos = msg.pt;
    input.messageTime = msg.time;
}

void ForgetInputWindow(HWND hwnd) {
    if (input.tracked == hwnd)
        input.tracked = nullptr;
    if (input.capture == hwnd) {
        input.capture = nullptr;
        Display().SetCapture(nullptr);
    }
}

}  // namespace winlayer

using namespace winlayer;

HWND WINAPI SetCapture(HWND hwnd) {
    HWND previous = input.capture;
    HWND topLevel = nullptr;
    {
        std::lock_guard lock(WindowLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr || window->threadId != GetCurrentThreadId())
            return previous;
        topLevel = TopLevelLocked(window)->hwnd;
    }
    input.capture = hwnd;
    Display().SetCapture(topLevel);
    if (previous != nullptr && previous != hwnd)
        SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return previous;
}

BOOL WINAPI ReleaseCapture() {
    HWND previous = input.capture;
    if (previous == nullptr)
        return TRUE;
    input.capture = nullptr;
    Display().SetCapture(nullptr);
    if (IsWindow(previous))
        SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture() {
    if (input.capture != nullptr && !IsWindow(input.capture))
        input.capture = nullptr;
    return input.capture;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *point = Display().CursorPos();
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    if (!Display().MovePointer(POINT{x, y})) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track) {
    if (track == nullptr || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (track->dwFlags & TME_QUERY) {
        track->dwFlags = input.tracked ? TME_LEAVE : 0;
        track->hwndTrack = input.tracked;
        track->dwHoverTime = 0;
        return TRUE;
    }
    if (!IsWindow(track->hwndTrack)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(track->dwFlags & TME_LEAVE))
        return TRUE;
    if (track->dwFlags & TME_CANCEL) {
        if (input.tracked == track->hwndTrack)
            input.tracked = nullptr;
        return TRUE;
    }
    // A pointer that is not over the window's client area gives the leave notification at once.
    POINT pointer{};
    GetCursorPos(&pointer);
    input.tracked = track->hwndTrack;
    if (WindowFromPoint(pointer) != track->hwndTrack)
        LeaveTracked();
    return TRUE;
}

SHORT WINAPI GetKeyState(int virtualKey) {
    return KeyState(input.keys, virtualKey, static_cast<SHORT>(0xFF80));
}

SHORT WINAPI GetAsyncKeyState(int virtualKey) {
    return KeyState(Display().ButtonsDown(), virtualKey, static_cast<SHORT>(0x8000));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    // The system's cursors have fixed handles; the program has no cursor resources.
    ULONG_PTR id = reinterpret_cast<ULONG_PTR>(name);
    if (instance == nullptr && (id == 32512 || id == 32513 || id == 32514 || id == 32649))
        return reinterpret_cast<HCURSOR>(0x10000 + id);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = input.cursor;
    input.cursor = cursor;
    return previous;
}
