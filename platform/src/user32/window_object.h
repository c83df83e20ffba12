// Window classes and windows behind ATOM and HWND values.
//
// One lock, WindowLock(), guards the table and every field of every class and window below. It is
// never held while a window procedure runs or while the display driver is called: code copies
// what it needs under the lock, lets go, then calls out.
#pragma once

#include "common/surface.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winlayer {

class ThreadQueue;

struct WindowClass {
    ATOM atom = 0;
    std::u16string name;
    HINSTANCE instance = nullptr;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    int windowExtra = 0;
    std::vector<BYTE> extra;  // class extra bytes
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    ULONG_PTR menuName = 0;
    int windows = 0;  // live windows of the class
    bool registered = true;
};

// A class name that is an atom (MAKEINTATOM) rather than a pointer to text.
inline bool IsAtomName(LPCWSTR name) {
    return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0;
}

// Whether `name` (text, compared without case, or an atom) names the class.
bool ClassNameMatches(const WindowClass& cls, LPCWSTR name);

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    std::shared_ptr<ThreadQueue> queue;  // the owning thread's queue
    DWORD threadId = 0;

    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;       // WS_CHILD windows
    HWND owner = nullptr;        // top-level windows created with a parent
    std::vector<HWND> children;  // z-order, topmost first

    RECT rect{};    // window rectangle: parent's client coordinates, screen ones for top-level
    RECT client{};  // client rectangle in the same coordinates

    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;  // window extra bytes
    std::u16string text;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;

    bool destroying = false;  // DestroyWindow has begun
    bool dead = false;        // out of the table

    // Painting: the update region as rectangles in client coordinates.
    std::vector<RECT> update;
    bool eraseDue = false;
    bool painting = false;             // between BeginPaint and EndPaint
    std::unique_ptr<Surface> surface;  // top-level windows' backing store
    bool IsTopLevel() const { return (style & WS_CHILD) == 0; }
    bool HasVisibleStyle() const { return (style & WS_VISIBLE) != 0; }
};

std::mutex& WindowLock();

// The live window behind a handle, or null (ERROR_INVALID_WINDOW_HANDLE is the caller's to set).
std::shared_ptr<Window> FindWindowObject(HWND hwnd);
// The same, under WindowLock() held by the caller.
Window* FindWindowLocked(HWND hwnd);
// As FindWindowObject, setting ERROR_INVALID_WINDOW_HANDLE when there is no such window.
std::shared_ptr<Window> WindowOrError(HWND hwnd);
// As FindWindowLocked, setting ERROR_INVALID_WINDOW_HANDLE when there is no such window.
Window* WindowOrErrorLocked(HWND hwnd);

// Gives a new window its handle and enters it in the table: a child at the top of its parent's
// children, a top-level window in front of its kind in the z-order and owned by the top-level
// window of `parent` when there is one. Lock held.
HWND AddWindowLocked(const std::shared_ptr<Window>& window, Window* parent);
// Takes the window out of the table, its parent's children and the z-order, and drops its queued
// messages. Lock held.
void UnlinkWindowLocked(Window* window);
// The windows that `owner` owns.
std::vector<HWND> OwnedWindows(HWND owner);

// The top-level ancestor (the window itself when top-level); caller holds WindowLock().
Window* TopLevelLocked(Window* window);
// Offset of the window's client area in its top-level window's surface (which covers the
// top-level's window rectangle); lock held.
POINT ClientOriginInSurface(const Window* window);
// The window and its ancestors have WS_VISIBLE; lock held.
bool IsShownLocked(const Window* window);
// The client area's origin in screen coordinates; lock held.
POINT ClientOriginOnScreen(const Window* window);

// Every live window of a thread, in creation order.
std::vector<HWND> WindowsOfThread(DWORD threadId);

// Calls the window's procedure without any layer lock held; 0 for a window that is gone.
LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Top-level windows, frontmost first (topmost ones before the others); lock held.
std::vector<HWND>& TopLevelOrderLocked();

// Ends the windows of a thread that exits without destroying them: no messages are sent.
void ForgetWindowsOfThread(DWORD threadId);

// The deepest visible window at a screen point inside `window` (the window itself when no child
// holds the point); lock held.
HWND DeepestChildAtLocked(Window* window, POINT screen);

// The display moved or resized a top-level window: the window follows, with the messages of
// SetWindowPos, without telling the display again.
void MoveFromDisplay(HWND hwnd, const RECT& rect);

// SetWindowPos flags Windows adds for WM_WINDOWPOSCHANGED: the client area did not move or resize.
inline constexpr UINT kSwpNoClientSize = 0x0800;
inline constexpr UINT kSwpNoClientMove = 0x1000;

// Window classes (window_class.cpp).
std::shared_ptr<WindowClass> FindWindowClass(HINSTANCE instance, LPCWSTR name);

}  // namespace winlayer
