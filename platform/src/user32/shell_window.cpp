// The shell's window. No desktop shell runs here, so there is no shell window.
#include <windows.h>

HWND WINAPI GetShellWindow() {
    return nullptr;
}
