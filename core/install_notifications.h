// The install notifications: window messages the worker posts to the installer's window, with
// wParam 0 and the value in lParam. Posting never waits for the window, and a post to a window
// that no longer exists is dropped.
#pragma once

#include <windows.h>

inline constexpr UINT WM_INSTALL_PROGRESS = 1131;  // WM_USER + 107; lParam: percentage, 0 to 100
inline constexpr UINT WM_INSTALL_DONE = 1132;      // WM_USER + 108; lParam: 0
inline constexpr UINT WM_INSTALL_FAILED = 1135;    // WM_USER + 111; lParam: failed step's index
inline constexpr UINT WM_INSTALL_STEP = 1138;      // WM_USER + 114; lParam: entered step's index

// The window every notification goes to; written once, before any installation starts.
extern HWND InstallerWindow;

// Posts one notification to InstallerWindow.
void PostInstallNotification(UINT message, LPARAM value);
