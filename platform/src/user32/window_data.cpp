// Window data and queries: GetWindowLongPtrW and SetWindowLongPtrW with their 32-bit forms, the
// text, the rectangles, coordinates and the parent chain.
#include "user32/window_object.h"

#include "user32/extra_bytes.h"

namespace winlayer {
namespace {

// The window of a call that fills `out`: null, with ERROR_INVALID_WINDOW_HANDLE for a stale
// handle or ERROR_INVALID_PARAMETER for a null `out`. Lock held.
Window* WindowToFillLocked(HWND hwnd, const void* out) {
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr || out == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return window;
}

// Moves the point by the window's client origin on the screen: into screen coordinates with
// `direction` 1, out of them with -1.
BOOL MoveByClientOrigin(HWND hwnd, LPPOINT point, int direction) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowToFillLocked(hwnd, point);
    if (window == nullptr)
        return FALSE;
    POINT origin = ClientOriginOnScreen(window);
    point->x += direction * origin.x;
    point->y += direction * origin.y;
    return TRUE;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI IsWindow(HWND hwnd) {
    return FindWindowObject(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    return window != nullptr && IsShownLocked(window) ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    while (window != nullptr && !window->IsTopLevel()) {
        if (window->parent == parent)
            return TRUE;
        window = FindWindowLocked(window->parent);
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hwnd) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return nullptr;
    if (!window->IsTopLevel())
        return window->parent;
    // A popup's parent is its owner.
    return (window->style & WS_POPUP) ? window->owner : nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    std::shared_ptr<Window> window = WindowOrError(hwnd);
    if (!window) {
        if (processId)
            *processId = 0;
        return 0;
    }
    if (processId)
        *processId = GetCurrentProcessId();
    return window->threadId;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return 0;
    if (index >= 0) {
        LONG_PTR value = 0;
        return ReadExtra(window->extra, index, &value) ? value : 0;
    }
    switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window->procedure);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(window->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(window->IsTopLevel() ? window->owner
                                                                   : window->parent);
        case GWLP_ID:
            return window->id;
        case GWL_STYLE:
            return static_cast<LONG>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(window->exStyle);
        case GWLP_USERDATA:
            return window->userData;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return 0;
    if (index >= 0) {
        LONG_PTR previous = 0;
        return SwapExtra(window->extra, index, value, &previous) ? previous : 0;
    }
    LONG_PTR previous = 0;
    switch (index) {
        case GWLP_WNDPROC:
            if (value == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            previous = reinterpret_cast<LONG_PTR>(window->procedure);
            window->procedure = reinterpret_cast<WNDPROC>(value);
            return previous;
        case GWLP_HINSTANCE:
            previous = reinterpret_cast<LONG_PTR>(window->instance);
            window->instance = reinterpret_cast<HINSTANCE>(value);
            return previous;
        case GWLP_HWNDPARENT:
            // A top-level window's owner; a child keeps its parent.
            previous = reinterpret_cast<LONG_PTR>(window->owner);
            if (window->IsTopLevel())
                window->owner = reinterpret_cast<HWND>(value);
            return previous;
        case GWLP_ID:
            previous = window->id;
            window->id = value;
            return previous;
        case GWL_STYLE:
            previous = static_cast<LONG>(window->style);
            // WS_CHILD is fixed at creation.
            window->style = (static_cast<DWORD>(value) & ~WS_CHILD) | (window->style & WS_CHILD);
            return previous;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(window->exStyle);
            window->exStyle = static_cast<DWORD>(value);
            return previous;
        case GWLP_USERDATA:
            previous = window->userData;
            window->userData = value;
            return previous;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    if (index >= 0) {
        std::lock_guard lock(WindowLock());
        Window* window = WindowOrErrorLocked(hwnd);
        if (window == nullptr)
            return 0;
        LONG value = 0;
        return ReadExtra(window->extra, index, &value) ? value : 0;
    }
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        // Pointer-sized data is out of reach of the 32-bit form on 64-bit Windows.
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    if (index >= 0) {
        std::lock_guard lock(WindowLock());
        Window* window = WindowOrErrorLocked(hwnd);
        if (window == nullptr)
            return 0;
        LONG previous = 0;
        return SwapExtra(window->extra, index, value, &previous) ? previous : 0;
    }
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!WindowOrError(hwnd))
        return FALSE;
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0)
        return 0;
    buffer[0] = 0;
    if (!WindowOrError(hwnd))
        return 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(bufferMax),
                                         reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    if (!WindowOrError(hwnd))
        return 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowToFillLocked(hwnd, rect);
    if (window == nullptr)
        return FALSE;
    *rect = RECT{0, 0, window->client.right - window->client.left,
                 window->client.bottom - window->client.top};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowToFillLocked(hwnd, rect);
    if (window == nullptr)
        return FALSE;
    *rect = window->rect;
    if (!window->IsTopLevel()) {
        if (Window* parent = FindWindowLocked(window->parent)) {
            POINT origin = ClientOriginOnScreen(parent);
            OffsetRect(rect, origin.x, origin.y);
        }
    }
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    return MoveByClientOrigin(hwnd, point, -1);
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    return MoveByClientOrigin(hwnd, point, 1);
}
