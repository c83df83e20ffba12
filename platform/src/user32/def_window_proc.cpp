// DefWindowProcW: what a window does with the messages its procedure leaves alone, including the
// move loop that drags a window by its caption.
#include "drivers/display_driver.h"
#include "user32/icons.h"
#include "user32/paint_dc.h"
#include "user32/thread_queue.h"
#include "user32/window_object.h"

#include <algorithm>

namespace winlayer {
namespace {

LRESULT SetText(HWND hwnd, LPCWSTR text) {
    std::u16string value = text ? std::u16string(text) : std::u16string();
    bool topLevel = false;
    {
        std::lock_guard lock(WindowLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return FALSE;
        window->text = value;
        topLevel = window->IsTopLevel();
    }
    if (topLevel)
        Display().SetTitle(hwnd, value);
    return TRUE;
}

LRESULT GetText(HWND hwnd, WPARAM bufferMax, LPWSTR buffer) {
    if (buffer == nullptr || bufferMax == 0)
        return 0;
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        buffer[0] = 0;
        return 0;
    }
    size_t count = std::min(window->text.size(), static_cast<size_t>(bufferMax - 1));
    std::copy_n(window->text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

LRESULT SetIcon(HWND hwnd, WPARAM which, HICON icon) {
    HICON previous = nullptr;
    HICON big = nullptr, small = nullptr;
    bool topLevel = false;
    {
        std::lock_guard lock(WindowLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return 0;
        HICON& slot = which == ICON_BIG ? window->bigIcon : window->smallIcon;
        previous = slot;
        slot = icon;
        big = window->bigIcon;
        small = window->smallIcon;
        topLevel = window->IsTopLevel();
    }
    if (topLevel)
        Display().SetIcons(hwnd, IconImageOf(big ? big : small), IconImageOf(small ? small : big));
    return reinterpret_cast<LRESULT>(previous);
}

LRESULT EraseBackground(HWND hwnd, HDC dc) {
    HBRUSH brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND));
    if (brush == nullptr || dc == nullptr)
        return 0;
    RECT client;
    GetClientRect(hwnd, &client);
    FillWithBrush(dc, client, brush);
    return 1;
}

LRESULT HitTest(HWND hwnd, LPARAM lParam) {
    POINT pt{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
    RECT window;
    if (!GetWindowRect(hwnd, &window))
        return HTNOWHERE;
    bool inside =
        pt.x >= window.left && pt.x < window.right && pt.y >= window.top && pt.y < window.bottom;
    return inside ? HTCLIENT : HTNOWHERE;
}

// The move loop of SC_MOVE: the window follows the pointer by its delta from the press until the
// left button is released. The release ends the loop and is consumed, so the window never sees it
// as a click; other messages keep flowing, so the thread keeps painting.
void MoveLoop(HWND hwnd) {
    ThreadQueue& queue = CurrentQueue();
    if (!(Display().ButtonsDown() & MK_LBUTTON) || queue.HasInput(WM_LBUTTONUP))
        return;
    POINT start{};
    GetCursorPos(&start);
    RECT origin;
    GetWindowRect(hwnd, &origin);
    CallWindowProcedure(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    SetCapture(hwnd);
    MSG msg;
    while (IsWindow(hwnd) && GetCapture() == hwnd) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (msg.message == WM_LBUTTONUP)
            break;
        if (msg.message == WM_MOUSEMOVE) {
            POINT now = msg.pt;
            SetWindowPos(hwnd, nullptr, origin.left + now.x - start.x, origin.top + now.y - start.y,
                         0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            continue;
        }
        if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST)
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (GetCapture() == hwnd)
        ReleaseCapture();
    CallWindowProcedure(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

LRESULT SysCommand(HWND hwnd, WPARAM command) {
    switch (command & 0xFFF0) {
        case SC_MOVE:
            MoveLoop(hwnd);
            return 0;
        case SC_CLOSE:
            return SendMessageW(hwnd, WM_CLOSE, 0, 0);
        default:
            return 0;
    }
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (cs != nullptr && cs->lpszName != nullptr)
                SetText(hwnd, cs->lpszName);
            return TRUE;
        }
        case WM_NCCALCSIZE:
            // No frame: the client area is the whole window.
            return 0;
        case WM_SETTEXT:
            return SetText(hwnd, reinterpret_cast<LPCWSTR>(lParam));
        case WM_GETTEXT:
            return GetText(hwnd, wParam, reinterpret_cast<LPWSTR>(lParam));
        case WM_GETTEXTLENGTH: {
            std::lock_guard lock(WindowLock());
            Window* window = FindWindowLocked(hwnd);
            return window ? static_cast<LRESULT>(window->text.size()) : 0;
        }
        case WM_SETICON:
            return SetIcon(hwnd, wParam, reinterpret_cast<HICON>(lParam));
        case WM_GETICON: {
            std::lock_guard lock(WindowLock());
            Window* window = FindWindowLocked(hwnd);
            if (window == nullptr)
                return 0;
            return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? window->bigIcon
                                                                : window->smallIcon);
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return EraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
        case WM_WINDOWPOSCHANGED: {
            auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            RECT client{};
            {
                std::lock_guard lock(WindowLock());
                if (Window* window = FindWindowLocked(hwnd))
                    client = window->client;
            }
            // WM_MOVE gives the client area's origin in the parent's client coordinates.
            if (!(pos->flags & kSwpNoClientMove))
                CallWindowProcedure(hwnd, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
            if (!(pos->flags & kSwpNoClientSize)) {
                CallWindowProcedure(
                    hwnd, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(client.right - client.left, client.bottom - client.top));
            }
            return 0;
        }
        case WM_NCHITTEST:
            return HitTest(hwnd, lParam);
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION)
                SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
            return 0;
        case WM_SYSCOMMAND:
            return SysCommand(hwnd, wParam);
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_MOUSEACTIVATE:
            return 1;  // MA_ACTIVATE
        default:
            return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC procedure, HWND hwnd, UINT message, WPARAM wParam,
                               LPARAM lParam) {
    return procedure ? procedure(hwnd, message, wParam, lParam) : 0;
}
