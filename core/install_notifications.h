// The install notifications: window messages the worker posts to the installer's window, with
// wParam 0 and the value in lParam. Posting never waits for the window, and a post to a window
// that no longer exists is dropped.
#pragma once

#include <windows.h>

inline constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 107;  // 1131; lParam: percentage, 0 to 100
inline constexpr UINT WM_INSTALL_DONE = WM_USER + 108;      // 1132; lParam: 0
inline constexpr UINT WM_INSTALL_FAILED = WM_USER + 111;    // 1135; lParam: failed step's index
inline constexpr UINT WM_INSTALL_STEP = WM_USER + 114;      // 1138; lParam: entered step's index

// The window every notification goes to; written once, before any installation starts.
extern HWND InstallerWindow;

// Posts one notification to InstallerWindow.
void PostInstallNotification(UINT message, LPARAM value);
