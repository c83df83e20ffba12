// FindWindowW and SetForegroundWindow: top-level windows by class and title, this process's
// first and then those of other processes on the same display, as Windows finds any process's
// windows. A window of another process is a handle value with kForeignWindow set over the
// display's id of it; SetForegroundWindow is the one call that takes such a handle.
#include "drivers/display_driver.h"
#include "user32/window_object.h"

#include <windows.h>

#include <cstdint>

namespace winlayer {
namespace {

constexpr uint64_t kForeignWindow = uint64_t{1} << 62;

bool IsForeign(HWND hwnd) {
    return (reinterpret_cast<uint64_t>(hwnd) & kForeignWindow) != 0;
}

char16_t Folded(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameClassName(const std::u16string& a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return false;
    return i == a.size() && b[i] == 0;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    {
        std::lock_guard lock(WindowLock());
        for (HWND hwnd : TopLevelOrderLocked()) {
            Window* window = FindWindowLocked(hwnd);
            if (window == nullptr || window->destroying)
                continue;
            if (className && !SameClassName(window->windowClass->name, className))
                continue;
            if (windowName && window->text != windowName)
                continue;
            return hwnd;
        }
    }
    const uint64_t id = Display().FindForeignTopLevel(className, windowName);
    if (id == 0 || (id & kForeignWindow) != 0) {
        SetLastError(ERROR_SUCCESS);
        return nullptr;
    }
    return reinterpret_cast<HWND>(id | kForeignWindow);
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    if (IsForeign(hwnd))
        return Display().RaiseForeign(reinterpret_cast<uint64_t>(hwnd) & ~kForeignWindow) ? TRUE
                                                                                          : FALSE;
    if (!IsWindow(hwnd))
        return FALSE;
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
