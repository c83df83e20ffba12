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
            if (className && !ClassNameMatches(*window->windowClass, className))
                continue;
            if (windowName && window->text != windowName)
                continue;
            return hwnd;
        }
    }
    // Atoms are this process's own: they name no other process's window.
    if (className != nullptr && IsAtomName(className)) {
        SetLastError(ERROR_SUCCESS);
        return nullptr;
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
