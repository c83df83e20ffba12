// Showing and placing windows: ShowWindow, SetWindowPos, MoveWindow, the z-order of top-level
// windows and WindowFromPoint.
#include "user32/window_object.h"

#include "drivers/display_driver.h"
#include "user32/painting.h"

#include <algorithm>

namespace winlayer {
namespace {

LONG Width(const RECT& r) {
    return r.right - r.left;
}
LONG Height(const RECT& r) {
    return r.bottom - r.top;
}

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// Lock held: puts a top-level window at the front of its kind (topmost or not), or at the back.
void RestackLocked(Window* window, HWND insertAfter) {
    auto& order = TopLevelOrderLocked();
    order.erase(std::remove(order.begin(), order.end(), window->hwnd), order.end());
    if (insertAfter == HWND_TOPMOST)
        window->exStyle |= WS_EX_TOPMOST;
    else if (insertAfter == HWND_NOTOPMOST)
        window->exStyle &= ~WS_EX_TOPMOST;
    bool topmost = (window->exStyle & WS_EX_TOPMOST) != 0;
    auto isTopmost = [](HWND h) {
        Window* w = FindWindowLocked(h);
        return w != nullptr && (w->exStyle & WS_EX_TOPMOST);
    };
    auto it = order.begin();
    if (insertAfter == HWND_BOTTOM) {
        it = order.end();
    } else if (!topmost) {
        while (it != order.end() && isTopmost(*it))
            ++it;
    }
    order.insert(it, window->hwnd);
}

void RestackChildLocked(Window* window, HWND insertAfter) {
    Window* parent = FindWindowLocked(window->parent);
    if (parent == nullptr)
        return;
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window->hwnd), siblings.end());
    if (insertAfter == HWND_BOTTOM)
        siblings.push_back(window->hwnd);
    else
        siblings.insert(siblings.begin(), window->hwnd);
}

thread_local bool movedByDisplay = false;

}  // namespace

void MoveFromDisplay(HWND hwnd, const RECT& rect) {
    movedByDisplay = true;
    SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    movedByDisplay = false;
}

HWND DeepestChildAtLocked(Window* window, POINT screen) {
    for (HWND childHandle : window->children) {
        Window* child = FindWindowLocked(childHandle);
        if (child == nullptr || !child->HasVisibleStyle() || (child->style & WS_DISABLED))
            continue;
        RECT rect = child->rect;
        POINT origin = ClientOriginOnScreen(window);
        OffsetRect(&rect, origin.x, origin.y);
        if (Contains(rect, screen))
            return DeepestChildAtLocked(child, screen);
    }
    return window->hwnd;
}

}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    std::shared_ptr<Window> window = WindowOrError(hwnd);
    if (!window)
        return FALSE;
    RECT oldRect, oldClient;
    bool wasVisible, topLevel;
    HWND parent;
    {
        std::lock_guard lock(WindowLock());
        oldRect = window->rect;
        oldClient = window->client;
        wasVisible = window->HasVisibleStyle();
        topLevel = window->IsTopLevel();
        parent = window->parent;
    }
    WINDOWPOS pos{hwnd, insertAfter, x, y, std::max(cx, 0), std::max(cy, 0), flags};
    if (!(pos.flags & SWP_NOSIZE) && pos.cx == Width(oldRect) && pos.cy == Height(oldRect))
        pos.flags |= SWP_NOSIZE;
    if (!(pos.flags & SWP_NOMOVE) && pos.x == oldRect.left && pos.y == oldRect.top)
        pos.flags |= SWP_NOMOVE;
    if (wasVisible)
        pos.flags &= ~SWP_SHOWWINDOW;
    else
        pos.flags &= ~SWP_HIDEWINDOW;
    if (pos.flags & SWP_NOMOVE) {
        pos.x = oldRect.left;
        pos.y = oldRect.top;
    }
    if (pos.flags & SWP_NOSIZE) {
        pos.cx = Width(oldRect);
        pos.cy = Height(oldRect);
    }
    if (!(pos.flags & SWP_NOSENDCHANGING))
        CallWindowProcedure(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));

    RECT newRect{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    RECT newClient = oldClient;
    OffsetRect(&newClient, newRect.left - oldRect.left, newRect.top - oldRect.top);
    if (!(pos.flags & SWP_NOSIZE) || (pos.flags & SWP_FRAMECHANGED)) {
        NCCALCSIZE_PARAMS params{{newRect, oldRect, oldClient}, &pos};
        CallWindowProcedure(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
        newClient = params.rgrc[0];
    }
    if (newClient.left == oldClient.left && newClient.top == oldClient.top)
        pos.flags |= kSwpNoClientMove;
    if (Width(newClient) == Width(oldClient) && Height(newClient) == Height(oldClient))
        pos.flags |= kSwpNoClientSize;

    bool show = (pos.flags & SWP_SHOWWINDOW) != 0;
    bool hide = (pos.flags & SWP_HIDEWINDOW) != 0;
    bool sized = !(pos.flags & SWP_NOSIZE);
    bool moved = !(pos.flags & SWP_NOMOVE);
    UINT classStyle = 0;
    {
        std::lock_guard lock(WindowLock());
        if (window->dead)
            return FALSE;
        window->rect = newRect;
        window->client = newClient;
        if (!(pos.flags & SWP_NOZORDER)) {
            if (topLevel)
                RestackLocked(window.get(), pos.hwndInsertAfter);
            else
                RestackChildLocked(window.get(), pos.hwndInsertAfter);
        }
        if (show)
            window->style |= WS_VISIBLE;
        if (hide)
            window->style &= ~WS_VISIBLE;
        if (topLevel && sized) {
            // The backing store keeps what fits of its old picture.
            auto surface = std::make_unique<Surface>(pos.cx, pos.cy);
            const Surface& old = *window->surface;
            for (int row = 0; row < std::min(old.height, surface->height); ++row) {
                std::copy_n(old.Row(row), std::min(old.width, surface->width), surface->Row(row));
            }
            window->surface = std::move(surface);
        }
        classStyle = window->windowClass->style;
        if (show || hide)
            UpdatePaintDueLocked(window.get());
    }

    if (topLevel) {
        if ((moved || sized) && !movedByDisplay)
            Display().SetRect(hwnd, newRect);
        if (show || hide)
            Display().SetVisible(hwnd, show, show && !(pos.flags & SWP_NOACTIVATE));
    }
    if (show)
        InvalidateWindow(hwnd, nullptr, true, true);
    if (hide && !topLevel)
        InvalidateParentArea(parent, oldRect);
    if (!show && !hide && !(pos.flags & SWP_NOREDRAW) && wasVisible) {
        if (!topLevel && moved)
            InvalidateParentArea(parent, oldRect);
        if (sized && (classStyle & (CS_HREDRAW | CS_VREDRAW)))
            InvalidateWindow(hwnd, nullptr, true, true);
        else if (sized || (!topLevel && moved))
            InvalidateWindow(hwnd, nullptr, true, false);
    }

    CallWindowProcedure(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW);
    return SetWindowPos(hwnd, nullptr, x, y, width, height, flags);
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    std::shared_ptr<Window> window = WindowOrError(hwnd);
    if (!window)
        return FALSE;
    bool wasVisible, child;
    {
        std::lock_guard lock(WindowLock());
        wasVisible = window->HasVisibleStyle();
        child = !window->IsTopLevel();
    }
    bool show = command != SW_HIDE;
    if (show == wasVisible)
        return wasVisible ? TRUE : FALSE;
    UINT flags = SWP_NOSIZE | SWP_NOMOVE;
    if (!show) {
        flags |= SWP_HIDEWINDOW | SWP_NOZORDER | SWP_NOACTIVATE;
    } else {
        flags |= SWP_SHOWWINDOW;
        if (command == SW_SHOWNA || command == SW_SHOWNOACTIVATE || command == SW_SHOWMINNOACTIVE ||
            child) {
            flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        }
    }
    CallWindowProcedure(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!IsWindow(hwnd))
        return wasVisible ? TRUE : FALSE;
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, flags);
    return wasVisible ? TRUE : FALSE;
}

HWND WINAPI WindowFromPoint(POINT screen) {
    std::lock_guard lock(WindowLock());
    for (HWND hwnd : TopLevelOrderLocked()) {
        Window* window = FindWindowLocked(hwnd);
        if (window != nullptr && window->HasVisibleStyle() && Contains(window->rect, screen))
            return DeepestChildAtLocked(window, screen);
    }
    return nullptr;
}
