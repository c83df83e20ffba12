#include "core/install_notifications.h"

HWND InstallerWindow = nullptr;

void PostInstallNotification(UINT message, LPARAM value) {
    PostMessageW(InstallerWindow, message, 0, value);
}
