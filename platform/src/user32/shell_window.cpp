// The shell's window. No desktop shell runs here, so there is no shell window and no window
// that belongs to a process.
#include <windows.h>

HWND WINAPI GetShellWindow() {
    return nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND, LPDWORD processId) {
    if (processId)
        *processId = 0;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}
