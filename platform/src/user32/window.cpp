// Creating and destroying windows, with the messages Windows sends and in its order.
#include "user32/window_object.h"

#include "drivers/display_driver.h"
#include "user32/input.h"
#include "user32/thread_queue.h"

#include <algorithm>

namespace winlayer {
namespace {

void SendDestroy(HWND hwnd) {
    CallWindowProcedure(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard lock(WindowLock());
        if (Window* window = FindWindowLocked(hwnd))
            children = window->children;
    }
    for (HWND child : children) {
        ForgetInputWindow(child);
        SendDestroy(child);
    }
}

void FreeWindow(HWND hwnd) {
    std::vector<HWND> children;
    {
        std::lock_guard lock(WindowLock());
        if (Window* window = FindWindowLocked(hwnd))
            children = window->children;
    }
    for (HWND child : children)
        FreeWindow(child);
    CallWindowProcedure(hwnd, WM_NCDESTROY, 0, 0);
    bool topLevel = false;
    {
        std::lock_guard lock(WindowLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return;
        topLevel = window->IsTopLevel();
        UnlinkWindowLocked(window);
    }
    if (topLevel)
        Display().DestroyTopLevel(hwnd);
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    std::shared_ptr<WindowClass> cls = FindWindowClass(instance, className);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if (child && parent == nullptr) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (x == CW_USEDEFAULT)
        x = y = 0;
    if (width == CW_USEDEFAULT)
        width = height = 0;
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto window = std::make_shared<Window>();
    window->windowClass = cls;
    window->queue = CurrentQueuePtr();
    window->threadId = GetCurrentThreadId();
    window->style = style & ~WS_VISIBLE;  // ShowWindow sets it at the end
    window->exStyle = exStyle;
    window->rect = RECT{x, y, x + width, y + height};
    window->client = window->rect;
    window->instance = instance;
    window->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
    if (!child)
        window->surface = std::make_unique<Surface>(width, height);

    HWND hwnd = nullptr;
    TopLevelDesc desc;
    {
        std::lock_guard lock(WindowLock());
        Window* parentWindow = nullptr;
        if (parent != nullptr) {
            parentWindow = FindWindowLocked(parent);
            if (parentWindow == nullptr) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        // The class may change under another thread's SetClassLongPtrW.
        window->procedure = cls->procedure;
        window->extra.assign(static_cast<size_t>(cls->windowExtra), 0);
        hwnd = AddWindowLocked(window, parentWindow);
        if (!child) {
            desc.hwnd = hwnd;
            desc.rect = window->rect;
            desc.style = style;
            desc.exStyle = exStyle;
            desc.owner = window->owner;
            desc.className = cls->name;
            // Captionless popups are placed by the program itself; the rest are managed.
            desc.managed = (style & (WS_CAPTION | WS_THICKFRAME)) != 0 ||
                           (exStyle & WS_EX_APPWINDOW) != 0 || (style & WS_POPUP) == 0;
            if (windowName != nullptr)
                desc.title = windowName;
        }
    }
    if (!child && !Display().CreateTopLevel(desc)) {
        std::lock_guard lock(WindowLock());
        UnlinkWindowLocked(window.get());
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    CREATESTRUCTW cs{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (!child) {
        // Sent before WM_NCCREATE: the procedure has no object to route it to yet.
        MINMAXINFO info{};
        info.ptMaxSize = POINT{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        info.ptMaxTrackSize =
            POINT{GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
        CallWindowProcedure(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    }
    if (!CallWindowProcedure(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        FreeWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RECT client = window->rect;
    CallWindowProcedure(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&client));
    {
        std::lock_guard lock(WindowLock());
        window->client = client;
    }
    if (CallWindowProcedure(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    RECT size;
    GetClientRect(hwnd, &size);
    CallWindowProcedure(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.right, size.bottom));
    CallWindowProcedure(hwnd, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
    if ((style & WS_VISIBLE) && IsWindow(hwnd))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    std::shared_ptr<Window> window = WindowOrError(hwnd);
    if (!window)
        return FALSE;
    {
        std::lock_guard lock(WindowLock());
        if (window->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying)
            return TRUE;
        window->destroying = true;
    }
    for (HWND owned : OwnedWindows(hwnd))
        DestroyWindow(owned);
    if (IsWindowVisible(hwnd) || (window->style & WS_VISIBLE)) {
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ForgetInputWindow(hwnd);
    SendDestroy(hwnd);
    FreeWindow(hwnd);
    return TRUE;
}
