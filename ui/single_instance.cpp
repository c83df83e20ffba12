#include "ui/single_instance.h"

#include <windows.h>

#include "ui/brivostel_dlg.h"
#include "ui/modal_wnd.h"

namespace {

// Global: an installer of another session (fast user switching) writes the same folders of the
// console user. The program runs elevated, which may create global objects.
constexpr WCHAR kInstanceMutex[] = TEXT("Global\\BRivostel v9.5 installer");

}  // namespace

bool ClaimSingleInstance() {
    // Never closed: the system closes it when the process ends.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS)
        return true;  // alone, or unable to tell: an installer that cannot check still runs
    CloseHandle(mutex);
    if (HWND running = FindWindowW(kModalWindowClass, kDialogTitle))
        SetForegroundWindow(running);
    return false;
}
