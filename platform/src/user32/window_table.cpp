// The HWND table: handles, the lock over every window, lookups, the parent chain's geometry,
// the z-order of top-level windows and the calls of window procedures.
#include "user32/window_object.h"

#include "drivers/display_driver.h"
#include "user32/thread_queue.h"

#include <algorithm>
#include <map>

namespace winlayer {
namespace {

struct WindowTable {
    std::map<HWND, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevelOrder;
    // Values grow by 4 and are never handed out twice, so a stale handle finds nothing.
    ULONG_PTR next = 0x20010;
};

WindowTable& Table() {
    static WindowTable* table = new WindowTable;  // outlives thread-exit clean-up
    return *table;
}

// Where a new top-level window goes in the z-order: in front of its kind.
void InsertTopLevelLocked(Window* window) {
    auto& order = Table().topLevelOrder;
    auto it = order.begin();
    if (!(window->exStyle & WS_EX_TOPMOST)) {
        while (it != order.end() && (FindWindowLocked(*it)->exStyle & WS_EX_TOPMOST))
            ++it;
    }
    order.insert(it, window->hwnd);
}

}  // namespace

std::mutex& WindowLock() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

Window* FindWindowLocked(HWND hwnd) {
    auto& windows = Table().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> FindWindowObject(HWND hwnd) {
    std::lock_guard lock(WindowLock());
    auto& windows = Table().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> WindowOrError(HWND hwnd) {
    std::shared_ptr<Window> window = FindWindowObject(hwnd);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

Window* WindowOrErrorLocked(HWND hwnd) {
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

HWND AddWindowLocked(const std::shared_ptr<Window>& window, Window* parent) {
    WindowTable& table = Table();
    HWND hwnd = reinterpret_cast<HWND>(table.next);
    table.next += 4;
    window->hwnd = hwnd;
    bool child = !window->IsTopLevel();
    if (child) {
        window->parent = parent->hwnd;
        parent->children.insert(parent->children.begin(), hwnd);
    } else if (parent != nullptr) {
        window->owner = TopLevelLocked(parent)->hwnd;
    }
    table.windows.emplace(hwnd, window);
    window->windowClass->windows++;
    if (!child)
        InsertTopLevelLocked(window.get());
    return hwnd;
}

void UnlinkWindowLocked(Window* window) {
    WindowTable& table = Table();
    window->dead = true;
    window->windowClass->windows--;
    if (Window* parent = FindWindowLocked(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window->hwnd), siblings.end());
    }
    auto& order = table.topLevelOrder;
    order.erase(std::remove(order.begin(), order.end(), window->hwnd), order.end());
    window->queue->PurgeWindow(window->hwnd);
    table.windows.erase(window->hwnd);
}

std::vector<HWND> OwnedWindows(HWND owner) {
    std::lock_guard lock(WindowLock());
    std::vector<HWND> owned;
    for (const auto& [hwnd, window] : Table().windows) {
        if (window->owner == owner)
            owned.push_back(hwnd);
    }
    return owned;
}

Window* TopLevelLocked(Window* window) {
    while (window != nullptr && !window->IsTopLevel())
        window = FindWindowLocked(window->parent);
    return window;
}

POINT ClientOriginOnScreen(const Window* window) {
    POINT origin{window->client.left, window->client.top};
    for (const Window* w = window; w != nullptr && !w->IsTopLevel();) {
        w = FindWindowLocked(w->parent);
        if (w == nullptr)
            break;
        origin.x += w->client.left;
        origin.y += w->client.top;
    }
    return origin;
}

POINT ClientOriginInSurface(const Window* window) {
    POINT origin = ClientOriginOnScreen(window);
    if (const Window* top = TopLevelLocked(const_cast<Window*>(window))) {
        origin.x -= top->rect.left;
        origin.y -= top->rect.top;
    }
    return origin;
}

bool IsShownLocked(const Window* window) {
    for (const Window* w = window; w != nullptr; w = FindWindowLocked(w->parent)) {
        if (!w->HasVisibleStyle())
            return false;
        if (w->IsTopLevel())
            return true;
    }
    return false;
}

std::vector<HWND>& TopLevelOrderLocked() {
    return Table().topLevelOrder;
}

std::vector<HWND> WindowsOfThread(DWORD threadId) {
    std::lock_guard lock(WindowLock());
    std::vector<HWND> result;
    for (const auto& [hwnd, window] : Table().windows) {
        if (window->threadId == threadId)
            result.push_back(hwnd);
    }
    return result;
}

void ForgetWindowsOfThread(DWORD threadId) {
    std::vector<HWND> topLevels;
    {
        std::lock_guard lock(WindowLock());
        std::vector<Window*> gone;
        for (const auto& [hwnd, window] : Table().windows) {
            if (window->threadId == threadId)
                gone.push_back(window.get());
        }
        for (Window* window : gone) {
            if (window->IsTopLevel())
                topLevels.push_back(window->hwnd);
        }
        // Children first, so that every parent is still there while its children unlink.
        std::sort(gone.begin(), gone.end(),
                  [](const Window* a, const Window* b) { return a->hwnd > b->hwnd; });
        std::vector<std::shared_ptr<Window>> keep;
        for (Window* window : gone) {
            keep.push_back(Table().windows[window->hwnd]);
            UnlinkWindowLocked(window);
        }
    }
    for (HWND hwnd : topLevels)
        Display().DestroyTopLevel(hwnd);
}

LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(WindowLock());
        if (Window* window = FindWindowLocked(hwnd))
            procedure = window->procedure;
    }
    return procedure ? procedure(hwnd, message, wParam, lParam) : 0;
}

}  // namespace winlayer
