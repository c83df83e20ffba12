// Windows: the HWND table, creation and destruction with Windows' message orders, window data,
// text, rectangles and the parent chain.
#include "user32/window_object.h"

#include "drivers/display_driver.h"
#include "user32/input.h"
#include "user32/thread_queue.h"

#include <algorithm>
#include <cstring>
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

bool ExtraFits(const Window& window, int index, size_t size) {
    return index >= 0 && static_cast<size_t>(index) + size <= window.extra.size();
}

// Lock held. Takes the window out of the table, its parent's children and the z-order, and
// drops its queued messages.
void UnlinkLocked(Window* window) {
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
        UnlinkLocked(window);
    }
    if (topLevel)
        Display().DestroyTopLevel(hwnd);
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
            UnlinkLocked(window);
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
        WindowTable& table = Table();
        hwnd = reinterpret_cast<HWND>(table.next);
        table.next += 4;
        window->hwnd = hwnd;
        if (child) {
            window->parent = parent;
            parentWindow->children.insert(parentWindow->children.begin(), hwnd);
        } else if (parentWindow != nullptr) {
            window->owner = TopLevelLocked(parentWindow)->hwnd;
        }
        table.windows.emplace(hwnd, window);
        cls->windows++;
        if (!child) {
            InsertTopLevelLocked(window.get());
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
        UnlinkLocked(window.get());
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
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
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
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index >= 0) {
        if (!ExtraFits(*window, index, sizeof(LONG_PTR))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG_PTR value = 0;
        std::memcpy(&value, window->extra.data() + index, sizeof value);
        return value;
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
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index >= 0) {
        if (!ExtraFits(*window, index, sizeof(LONG_PTR))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG_PTR previous = 0;
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
        return previous;
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
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (!ExtraFits(*window, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG value = 0;
        std::memcpy(&value, window->extra.data() + index, sizeof value);
        return value;
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
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (!ExtraFits(*window, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG previous = 0;
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
        return previous;
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
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr || rect == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = RECT{0, 0, window->client.right - window->client.left,
                 window->client.bottom - window->client.top};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr || rect == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
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
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr || point == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT origin = ClientOriginOnScreen(window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    std::lock_guard lock(WindowLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr || point == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT origin = ClientOriginOnScreen(window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}
